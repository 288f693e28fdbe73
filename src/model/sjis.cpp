#include "model/sjis.h"

namespace kf::sjis {

std::string cut(std::string_view s, size_t maxBytes) {
    size_t i = 0;
    while (i < s.size()) {
        const size_t width = isLeadByte(static_cast<unsigned char>(s[i])) ? 2 : 1;
        if (i + width > maxBytes || i + width > s.size()) break;
        i += width;
    }
    return std::string(s.substr(0, i));
}

std::string_view trim(std::string_view s) {
    size_t b = 0, e = s.size();
    while (b < e && static_cast<unsigned char>(s[b]) <= 0x20) ++b;
    while (e > b && static_cast<unsigned char>(s[e - 1]) <= 0x20) --e;
    return s.substr(b, e - b);
}

std::string_view cutBeforeHighByte(std::string_view s) {
    for (size_t i = 0; i < s.size(); ++i)
        if (static_cast<unsigned char>(s[i]) >= 0x7E) return s.substr(0, i);
    return s;
}

std::string upper(std::string_view s) {
    std::string r(s);
    for (char& c : r)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return r;
}

}  // namespace kf::sjis
