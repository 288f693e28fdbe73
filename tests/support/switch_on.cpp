#include "switch_on.h"

#include "gs/device_commands.h"
#include "recorded_out.h"

namespace kf::test {

std::vector<MidiBytes> editorStartMessages() {
    std::vector<MidiBytes> expected{{0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x1A, 0x15, 0x02, 0x0F, 0xF7}};
    for (auto [p, value] : std::vector<std::pair<int, int>>{
             {1, 60}, {2, 127}, {4, 64}, {5, 127}, {6, 0}, {9, 0}, {3, 0}, {10, 2}, {11, 0}, {12, 0}}) {
        MidiBytes m{0xF0, 0x41, 0x10, 0x42, 0x12, 0x21, static_cast<std::uint8_t>(p), 0x00,
                    static_cast<std::uint8_t>(value)};
        m.push_back(static_cast<std::uint8_t>((128 - (0x21 + p + value) % 128) % 128));
        m.push_back(0xF7);
        expected.push_back(m);
    }
    return expected;
}

std::vector<MidiBytes> switchOnMessages(const Kit& kit) {
    RecordedOut w(RecordedOut::Open);
    sendSwitchOnSequence(w.out, kit, true);
    return w.sent();
}

const std::vector<SettleCase>& settleCases() {
    static const std::vector<SettleCase> cases{
        {"ResetPaced", kGsReset, false},           {"ResetUnlimited", kGsReset, true},
        {"SystemModePaced", kSystemMode1, false},  {"SystemModeUnlimited", kSystemMode1, true},
        {"ProMapPaced", kAllPartsProMap, false},   {"ProMapUnlimited", kAllPartsProMap, true}};
    return cases;
}

}  // namespace kf::test
