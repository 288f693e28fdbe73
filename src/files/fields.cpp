#include "files/fields.h"

#include <cstring>

#include "model/kit.h"
#include "model/sjis.h"

namespace kf {

std::vector<std::string_view> splitLines(std::string_view text) {
    const size_t nul = text.find('\0');
    if (nul != std::string_view::npos) text = text.substr(0, nul);
    std::vector<std::string_view> lines;
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r' && text[i] != '\n') continue;
        lines.push_back(text.substr(start, i - start));
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        start = i + 1;
    }
    if (start < text.size()) lines.push_back(text.substr(start));
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
