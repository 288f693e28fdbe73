#include "fake_module.h"

#include "gs/sysex.h"

namespace kf::test {

std::optional<MidiBytes> FakeModule::answer(const MidiBytes& m) {
    // F0 41 dev 42 11 a1 a2 a3 s1 s2 s3 sum F7
    if (m.size() != 13 || m[0] != 0xF0 || m[1] != 0x41 || m[2] != deviceId || m[3] != 0x42 || m[4] != 0x11 ||
        m[12] != 0xF7 || rolandChecksum(m.data() + 5, m.data() + 11) != m[11])
        return std::nullopt;
    ++requests_;
    if (silent || (silentAfter >= 0 && requests_ > silentAfter)) return std::nullopt;
    if (dropEvery > 0 && requests_ % dropEvery == 0 && dropped_.insert(m).second) return std::nullopt;
    const int a1 = m[5], a2 = m[6], a3 = m[7];
    const long size = (m[8] << 14) | (m[9] << 7) | m[10];
    if (a1 != 0x21 || (a2 & 0x60) != 0) return std::nullopt;
    const int set = (a2 >> 4) + 1, p = a2 & 0x0F;
    MidiBytes reply;
    if (p == 0 && a3 == 0 && size == 12) reply = buildNameMessage(kit_, set);
    else if (p >= 1 && p <= 12 && size == 1) reply = buildParameterMessage(kit_, set, a3, p);
    else return std::nullopt;
    reply[2] = deviceId;
    if (badChecksum) reply[reply.size() - 2] ^= 0x01;
    return reply;
}

}  // namespace kf::test
