#include "dt1.h"

#include <cstdio>

namespace kf::test::dt1 {

namespace {
std::string hexByte(int b) {
    char text[3];
    std::snprintf(text, sizeof text, "%02X", b & 0xFF);
    return text;
}
}  // namespace

std::string message(const std::vector<int>& addressAndData) {
    std::string s = "F0 41 10 42 12";
    int sum = 0;
    for (int b : addressAndData) {
        s += ' ' + hexByte(b);
        sum += b;
    }
    s += ' ' + hexByte((128 - sum % 128) % 128);
    return s + " F7";
}

std::string noteParameter(int set, int note, int parameter, int value) {
    return message({0x21, 16 * (set - 1) + parameter, note, value});
}

std::string setName(int set, const std::string& name) {
    std::vector<int> bytes{0x21, 16 * (set - 1), 0x00};
    for (std::size_t i = 0; i < 12; ++i) bytes.push_back(i < name.size() ? static_cast<unsigned char>(name[i]) : 0x20);
    return message(bytes);
}

std::vector<std::string> note(int set, int n, const NoteBytes& bytes, const std::vector<int>& order) {
    std::vector<std::string> v;
    for (int p : order) v.push_back(noteParameter(set, n, p, bytes[static_cast<std::size_t>(p - 1)]));
    return v;
}

std::vector<std::string> noteAfterRx(int set, int n, const NoteBytes& bytes) {
    return note(set, n, bytes, {7, 8, 1, 2, 3, 4, 5, 6, 9, 10, 11, 12});
}

}  // namespace kf::test::dt1
