#include "cli/encoding.h"

#include <iconv.h>

#include <cerrno>

namespace kf::cli {

namespace {

// How many bytes the one '?' for an unconvertible character stands for, at its first byte.
using SkipFn = size_t (*)(const char* at, size_t left);

size_t oneByte(const char*, size_t) { return 1; }

// The lead byte and the continuation bytes after it: the whole character.
size_t utf8Character(const char* at, size_t left) {
    size_t n = 1;
    while (n < left && n < 4 && (static_cast<unsigned char>(at[n]) & 0xC0) == 0x80) ++n;
    return n;
}

std::string convert(const std::string& in, const char* to, const char* from, SkipFn skip) {
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
            // Skip the unconvertible character (or character start) and mark it.
            const size_t n = skip(src, left);
            out.push_back('?');
            src += n;
            left -= n;
        }
    }
    iconv_close(cd);
    return out;
}

}  // namespace

std::string toShiftJis(const std::string& utf8) { return convert(utf8, "CP932", "UTF-8", &utf8Character); }
std::string fromShiftJis(const std::string& sjis) { return convert(sjis, "UTF-8", "CP932", &oneByte); }

}  // namespace kf::cli
