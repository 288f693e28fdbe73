// The reader of DT1 messages and the user drum address map, against messages written out by
// hand: the test module decodes with the same two functions, so a fault in them would agree
// with itself there.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "case_name.h"

#include "gs/dt1.h"

namespace kf {
namespace {

struct Dt1Case {
    const char* bytes;     // the whole message, checksum worked out by hand
    Dt1Status status;
    const char* expected;  // each data byte in order: "set.parameter.index=value", or "-=value" outside the sets
};

std::vector<std::uint8_t> parseHex(const std::string& text) {
    std::vector<std::uint8_t> out;
    const char* p = text.c_str();
    char* end = nullptr;
    for (unsigned long b = std::strtoul(p, &end, 16); end != p; b = std::strtoul(p, &end, 16)) {
        out.push_back(static_cast<std::uint8_t>(b));
        p = end;
    }
    return out;
}

std::string decoded(const std::vector<std::uint8_t>& m, Dt1Status* status) {
    std::string s;
    *status = forEachDt1Byte(m.data(), m.size(), [&s](unsigned address, std::uint8_t value) {
        char text[32];
        if (const auto at = userDrumAt(address))
            std::snprintf(text, sizeof text, "%d.%d.%d=%02X", at->set, at->parameter, at->index, value);
        else
            std::snprintf(text, sizeof text, "-=%02X", value);
        if (!s.empty()) s += ' ';
        s += text;
    });
    return s;
}

class Dt1Read : public ::testing::TestWithParam<Dt1Case> {};

TEST_P(Dt1Read, BytesLandWhereTheModuleWouldPutThem) {
    const Dt1Case& c = GetParam();
    Dt1Status status{};
    const std::string got = decoded(parseHex(c.bytes), &status);
    EXPECT_EQ(status, c.status);
    EXPECT_EQ(got, c.expected);
}

constexpr Dt1Status kTaken = Dt1Status::Taken, kNotDt1 = Dt1Status::NotDt1, kBad = Dt1Status::BadChecksum;

INSTANTIATE_TEST_SUITE_P(
    Rows, Dt1Read,
    ::testing::Values(
        // 21+01+24+3C = 82: 7E
        Dt1Case{"F0 41 10 42 12 21 01 24 3C 7E F7", kTaken, "1.1.36=3C"},
        // note 0, last parameter: 21+0C+00+40 = 6D: 13
        Dt1Case{"F0 41 10 42 12 21 0C 00 40 13 F7", kTaken, "1.12.0=40"},
        // set 2, note 127: 21+11+7F+7F = 130 (mod 80: 30): 50
        Dt1Case{"F0 41 10 42 12 21 11 7F 7F 50 F7", kTaken, "2.1.127=7F"},
        // 21+1C+00+05 = 42: 3E
        Dt1Case{"F0 41 10 42 12 21 1C 00 05 3E F7", kTaken, "2.12.0=05"},
        // a sum of a whole 80: checksum 00
        Dt1Case{"F0 41 10 42 12 21 01 2E 30 00 F7", kTaken, "1.1.46=30"},
        // set 1 name "ABCDEFGHIJKL": 21 + 41..4C = 36F (mod 80: 6F): 11
        Dt1Case{"F0 41 10 42 12 21 00 00 41 42 43 44 45 46 47 48 49 4A 4B 4C 11 F7", kTaken,
                "1.0.0=41 1.0.1=42 1.0.2=43 1.0.3=44 1.0.4=45 1.0.5=46 1.0.6=47 1.0.7=48 1.0.8=49 1.0.9=4A "
                "1.0.10=4B 1.0.11=4C"},
        // set 2 name "abcdefghijkl": 21+10 + 61..6C = 4FF (mod 80: 7F): 01
        Dt1Case{"F0 41 10 42 12 21 10 00 61 62 63 64 65 66 67 68 69 6A 6B 6C 01 F7", kTaken,
                "2.0.0=61 2.0.1=62 2.0.2=63 2.0.3=64 2.0.4=65 2.0.5=66 2.0.6=67 2.0.7=68 2.0.8=69 2.0.9=6A "
                "2.0.10=6B 2.0.11=6C"},
        // a name run past its twelfth byte: 21+00+0A+58+59+5A = 136 (mod 80: 36): 4A
        Dt1Case{"F0 41 10 42 12 21 00 0A 58 59 5A 4A F7", kTaken, "1.0.10=58 1.0.11=59 -=5A"},
        // from note 36 into 37: 21+02+24+64+65 = 110: 70
        Dt1Case{"F0 41 10 42 12 21 02 24 64 65 70 F7", kTaken, "1.2.36=64 1.2.37=65"},
        // from note 127 of parameter 1 on to note 0 of parameter 2: 21+01+7F+10+20 = D1 (mod 80: 51): 2F
        Dt1Case{"F0 41 10 42 12 21 01 7F 10 20 2F F7", kTaken, "1.1.127=10 1.2.0=20"},
        // from the last note of set 1 on to parameter 13, which is none: 21+0C+7F+01+02 = AF: 51
        Dt1Case{"F0 41 10 42 12 21 0C 7F 01 02 51 F7", kTaken, "1.12.127=01 -=02"},
        // from the last note of set 2 on to 21 1D 00: 21+1C+7F+03+04 = C3 (mod 80: 43): 3D
        Dt1Case{"F0 41 10 42 12 21 1C 7F 03 04 3D F7", kTaken, "2.12.127=03 -=04"},
        // parameter 13: 21+0D+05+01 = 34: 4C
        Dt1Case{"F0 41 10 42 12 21 0D 05 01 4C F7", kTaken, "-=01"},
        // no third set: 21+20+00+01 = 42: 3E
        Dt1Case{"F0 41 10 42 12 21 20 00 01 3E F7", kTaken, "-=01"},
        // 21+31+24+01 = 77: 09
        Dt1Case{"F0 41 10 42 12 21 31 24 01 09 F7", kTaken, "-=01"},
        // the first address byte next to the area: 22+01+24+3C = 83: 7D; 20+01+24+3C = 81: 7F
        Dt1Case{"F0 41 10 42 12 22 01 24 3C 7D F7", kTaken, "-=3C"},
        Dt1Case{"F0 41 10 42 12 20 01 24 3C 7F F7", kTaken, "-=3C"},
        // GS reset, a system address: 40+00+7F+00 = BF (mod 80: 3F): 41
        Dt1Case{"F0 41 10 42 12 40 00 7F 00 41 F7", kTaken, "-=00"},
        // any device ID is taken; it is not in the checksum
        Dt1Case{"F0 41 11 42 12 21 01 24 3C 7E F7", kTaken, "1.1.36=3C"},
        Dt1Case{"F0 41 7F 42 12 21 01 24 3C 7E F7", kTaken, "1.1.36=3C"},
        // another model, another maker, a request (RQ1) and not a data set
        Dt1Case{"F0 41 10 45 12 21 01 24 3C 7E F7", kNotDt1, ""},
        Dt1Case{"F0 43 10 42 12 21 01 24 3C 7E F7", kNotDt1, ""},
        Dt1Case{"F0 41 10 42 11 21 01 24 00 00 01 39 F7", kNotDt1, ""},
        // no data byte; a data byte with its top bit; no end byte; the 80 a sum of a whole 80
        // would give without the second modulo, no 7-bit byte
        Dt1Case{"F0 41 10 42 12 21 01 24 3A F7", kNotDt1, ""},
        Dt1Case{"F0 41 10 42 12 21 01 24 BC 7E F7", kNotDt1, ""},
        Dt1Case{"F0 41 10 42 12 21 01 24 3C 7E", kNotDt1, ""},
        Dt1Case{"F0 41 10 42 12 21 01 2E 30 80 F7", kNotDt1, ""},
        // checksum off by one; a name whose checksum misses its last byte: nothing of either is taken
        Dt1Case{"F0 41 10 42 12 21 01 24 3C 7F F7", kBad, ""},
        Dt1Case{"F0 41 10 42 12 21 00 00 41 42 43 44 45 46 47 48 49 4A 4B 4C 5D F7", kBad, ""}),
    test::RowName());

}  // namespace
}  // namespace kf
