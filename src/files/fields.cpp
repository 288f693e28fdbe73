#include "files/fields.h"

#include <cstring>

#include "model/kit.h"
#include "model/sjis.h"

namespace kf {

LineReader::LineReader(std::string_view text) : text_(text.substr(0, text.find('\0'))) {}

bool LineReader::next(std::string_view& line) {
    if (pos_ >= text_.size()) return false;
    // A plain scan: find_first_of calls memchr over the two line ends for every byte.
    size_t end = pos_;
    while (end < text_.size() && text_[end] != '\n' && text_[end] != '\r') ++end;
    if (end == text_.size()) {
        line = text_.substr(pos_);
        pos_ = text_.size();
        return true;
    }
    line = text_.substr(pos_, end - pos_);
    pos_ = end + 1;
    if (text_[end] == '\r' && pos_ < text_.size() && text_[pos_] == '\n') ++pos_;
    return true;
}

std::size_t LineReader::count() const {
    LineReader again(text_);
    std::size_t n = 0;
    std::string_view line;
    while (again.next(line)) ++n;
    return n;
}

std::vector<std::string_view> splitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    LineReader reader(text);
    std::string_view line;
    while (reader.next(line)) lines.push_back(line);
    return lines;
}

std::string_view restFrom(std::string_view line, int n) {
    size_t pos = 0;
    for (int i = 1; i < n; ++i) {
        const size_t comma = line.find(',', pos);
        if (comma == std::string_view::npos) return {};
        pos = comma + 1;
    }
    return line.substr(pos);
}

std::string_view field(std::string_view line, int n) {
    const std::string_view rest = restFrom(line, n);
    return rest.substr(0, rest.find(','));
}

std::optional<std::int32_t> parseInteger(std::string_view s) {
    size_t i = 0;
    while (i < s.size() && s[i] == ' ') ++i;
    if (i == s.size()) return std::nullopt;
    if (s[i] == '$') {
        const std::string_view digits = s.substr(i + 1);
        if (digits.empty() || digits.size() > 8) return std::nullopt;
        std::uint32_t v = 0;
        for (char c : digits) {
            int d;
            if (c >= '0' && c <= '9') d = c - '0';
            else if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
            else if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
            else return std::nullopt;
            v = v * 16 + static_cast<std::uint32_t>(d);
        }
        return static_cast<std::int32_t>(v);
    }
    bool negative = false;
    if (s[i] == '+' || s[i] == '-') negative = s[i++] == '-';
    if (i == s.size()) return std::nullopt;
    std::int64_t v = 0;
    for (; i < s.size(); ++i) {
        if (s[i] < '0' || s[i] > '9') return std::nullopt;
        v = v * 10 + (s[i] - '0');
        if (v > 2147483648LL) return std::nullopt;
    }
    if (negative) v = -v;
    if (v > 2147483647LL) return std::nullopt;
    return static_cast<std::int32_t>(v);
}

int integerOr(std::string_view text, int fallback) {
    const auto v = parseInteger(text);
    return v ? *v : fallback;
}

int numberField(std::string_view text, int fallback) {
    const auto v = parseInteger(text);
    return v ? clampMidi(*v) : fallback;
}

std::optional<int> digitsField(std::string_view text) {
    const std::string_view t = sjis::trim(text);
    if (t.empty()) return std::nullopt;
    long long v = 0;
    for (char c : t) {
        if (c < '0' || c > '9') return std::nullopt;
        if (v <= 127) v = v * 10 + (c - '0');
    }
    return clampMidi(v);
}

}  // namespace kf
