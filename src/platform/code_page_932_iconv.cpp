// Code page 932 through iconv's CP932 (glibc's has Microsoft's table, its NEC and IBM rows and
// the user-defined area).
#include <iconv.h>

#include "platform/code_page_932.h"

namespace kf::cp932 {

namespace {

// One conversion descriptor per direction and thread, opened at its first use: opening one for
// each character would cost more than the conversion, and a descriptor is not for two threads.
class Converter {
public:
    Converter(const char* to, const char* from) : cd_(::iconv_open(to, from)) {}
    ~Converter() {
        if (isOpen()) ::iconv_close(cd_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    // All of in, converted into out; false when iconv takes less than all of it.
    bool convert(std::string_view in, std::string& out) {
        if (!isOpen()) return false;
        // Nothing kept from a conversion that failed halfway.
        ::iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        char buffer[16];
        char* src = const_cast<char*>(in.data());
        size_t left = in.size();
        char* dst = buffer;
        size_t room = sizeof buffer;
        const size_t r = ::iconv(cd_, &src, &left, &dst, &room);
        if (r == static_cast<size_t>(-1) || left != 0) return false;
        out.assign(buffer, static_cast<size_t>(dst - buffer));
        return true;
    }

private:
    bool isOpen() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

    iconv_t cd_;
};

// UTF-32 in little-endian order, the same bytes whatever the machine's order.
Converter& toUtf32() {
    thread_local Converter converter("UTF-32LE", "CP932");
    return converter;
}

Converter& fromUtf32() {
    thread_local Converter converter("CP932", "UTF-32LE");
    return converter;
}

}  // namespace

std::optional<char32_t> decode(std::string_view character) {
    std::string utf32;
    if (!toUtf32().convert(character, utf32) || utf32.size() != 4) return std::nullopt;
    char32_t c = 0;
    for (int i = 3; i >= 0; --i) c = (c << 8) | static_cast<unsigned char>(utf32[static_cast<size_t>(i)]);
    return c;
}

std::string encode(char32_t c) {
    const char utf32[4] = {static_cast<char>(c & 0xFF), static_cast<char>((c >> 8) & 0xFF),
                           static_cast<char>((c >> 16) & 0xFF), static_cast<char>((c >> 24) & 0xFF)};
    std::string out;
    if (!fromUtf32().convert(std::string_view(utf32, sizeof utf32), out)) return {};
    return out;
}

}  // namespace kf::cp932
