#include "gs/dt1.h"

#include <algorithm>

#include "gs/sysex.h"
#include "midi/midi_bytes.h"

namespace kf {

Dt1Status forEachDt1Byte(const std::uint8_t* m, std::size_t n, const std::function<void(unsigned, std::uint8_t)>& byte) {
    if (n < 11 || m[0] != midi::kSysEx || m[n - 1] != midi::kEndOfSysEx || m[1] != midi::kRolandId ||
        m[3] != midi::kGsModelId || m[4] != midi::kDataSet1 ||
        std::any_of(m + 1, m + n - 1, [](std::uint8_t b) { return b > 0x7F; }))
        return Dt1Status::NotDt1;
    if (rolandChecksum(m + 5, m + n - 2) != m[n - 2]) return Dt1Status::BadChecksum;
    unsigned address = (unsigned(m[5]) << 14) | (unsigned(m[6]) << 7) | m[7];
    for (std::size_t i = 8; i < n - 2; ++i) byte(address++, m[i]);
    return Dt1Status::Taken;
}

std::optional<UserDrumAddress> userDrumAt(unsigned address) {
    const unsigned a1 = address >> 14, a2 = (address >> 7) & 0x7F, a3 = address & 0x7F;
    if (a1 != 0x21 || (a2 >> 4) > 1) return std::nullopt;
    const int set = static_cast<int>(a2 >> 4) + 1;
    const int p = static_cast<int>(a2 & 0x0F);
    if (p == 0) {
        if (a3 >= 12) return std::nullopt;
    } else if (p > 12) {
        return std::nullopt;
    }
    return UserDrumAddress{set, p, static_cast<int>(a3)};
}

}  // namespace kf
