// The line and comma-field rules shared by the kit file and both reference files.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace kf {

// Lines end at CR LF, a lone CR or a lone LF; a NUL byte ends the text; nothing follows
// the last line end. Read one at a time, so a file of line ends costs no memory per line.
class LineReader {
public:
    explicit LineReader(std::string_view text);
    // False after the last line.
    bool next(std::string_view& line);
    // How many lines the whole text holds.
    std::size_t count() const;

private:
    std::string_view text_;
    std::size_t pos_ = 0;
};

// Every line at once, for tests.
std::vector<std::string_view> splitLines(std::string_view text);

// Field n (from 1) of a line split at every comma, no quoting, nothing trimmed; a field
// beyond the end of the line is empty.
std::string_view field(std::string_view line, int n);
// Everything after the (n-1)-th comma, commas included.
std::string_view restFrom(std::string_view line, int n);

// Leading blanks, then an optional sign and decimal digits, or '$' and one to eight hex
// digits (32-bit two's complement), and nothing after. Anything else is no integer.
std::optional<std::int32_t> parseInteger(std::string_view text);
int integerOr(std::string_view text, int fallback);
// parseInteger clamped to 0..127; fallback for no integer.
int numberField(std::string_view text, int fallback);

// A field that, trimmed of blanks and control characters, is non-empty and all digits:
// its value clamped to 0..127.
std::optional<int> digitsField(std::string_view text);

}  // namespace kf
