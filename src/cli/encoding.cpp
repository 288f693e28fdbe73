#include "cli/encoding.h"

#include <iconv.h>

#include <cerrno>

namespace kf::cli {

namespace {

std::string convert(const std::string& in, const char* to, const char* from) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return in;
    std::string out;
    char buf[256];
    char* src = const_cast<char*>(in.data());
    size_t left = in.size();
    while (left > 0) {
        char* dst = buf;
        size_t room = sizeof buf;
        const size_t r = iconv(cd, &src, &left, &dst, &room);
        out.append(buf, static_cast<size_t>(dst - buf));
        if (r == static_cast<size_t>(-1) && errno != E2BIG) {
            // Skip one unconvertible byte (or character start) and mark it.
            out.push_back('?');
            ++src;
            --left;
        }
    }
    iconv_close(cd);
    return out;
}

}  // namespace

std::string toShiftJis(const std::string& utf8) { return convert(utf8, "CP932", "UTF-8"); }
std::string fromShiftJis(const std::string& sjis) { return convert(sjis, "UTF-8", "CP932"); }

}  // namespace kf::cli
