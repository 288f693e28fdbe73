#include "gs/sysex.h"

#include "midi/midi_bytes.h"
#include "midi/midi_out.h"
#include "model/parameters.h"

namespace kf {

namespace {
const std::uint8_t kHeader[] = {midi::kSysEx, midi::kRolandId, midi::kDefaultDeviceId, midi::kGsModelId,
                                 midi::kDataSet1};

MidiBytes frame(std::initializer_list<std::uint8_t> addressAndData, const std::string* tail = nullptr,
                size_t tailWidth = 0) {
    MidiBytes m;
    m.reserve(sizeof kHeader + addressAndData.size() + tailWidth + 2);
    for (std::uint8_t b : kHeader) m.push_back(b);
    for (std::uint8_t b : addressAndData) m.push_back(b);
    if (tail) {
        for (size_t i = 0; i < tailWidth; ++i)
            m.push_back(i < tail->size() ? static_cast<std::uint8_t>((*tail)[i]) : 0x20);
    }
    m.push_back(rolandChecksum(m.data() + midi::kDt1HeaderBytes, m.data() + m.size()));
    m.push_back(midi::kEndOfSysEx);
    return m;
}
}  // namespace

std::uint8_t rolandChecksum(const std::uint8_t* begin, const std::uint8_t* end) {
    unsigned sum = 0;
    for (auto p = begin; p != end; ++p) sum += *p;
    return static_cast<std::uint8_t>((128 - sum % 128) % 128);
}

MidiBytes gsDataSet(std::initializer_list<std::uint8_t> addressAndData) { return frame(addressAndData); }

MidiBytes buildParameterMessage(const Kit& kit, int set, int note, int p) {
    const auto value = static_cast<std::uint8_t>(parameterValue(kit, set, note, p));
    return frame({midi::kUserDrumArea, static_cast<std::uint8_t>(16 * (set - 1) + p), static_cast<std::uint8_t>(note), value});
}

bool buildNameMessage(const Kit& kit, int set, MidiBytes* out) {
    if (set != 1 && set != 2) return false;
    *out = frame({midi::kUserDrumArea, static_cast<std::uint8_t>(16 * (set - 1)), 0x00}, &kit.setName(set), 12);
    return true;
}

MidiBytes buildNameMessage(const Kit& kit, int set) {
    MidiBytes m;
    buildNameMessage(kit, set, &m);
    return m;
}

void sendWholeNote(MidiOut& out, const Kit& kit, int set, int note) {
    if (!out.isOpen()) return;
    for (int p = 1; p <= kDeviceParameterCount; ++p) out.sendLong(buildParameterMessage(kit, set, note, p));
}

std::vector<int> panelChangeParameters(const DrumNoteEntry& e, int row) {
    std::vector<int> params{deviceParameterOfRow(row, e.effectType)};
    if (row == kRowEffect && e.effectSend == 0) params.push_back(e.effectType == 0 ? kDelay : kChorus);
    return params;
}

std::vector<int> exportedParameters(const DrumNoteEntry& e) {
    std::vector<int> params;
    params.reserve(kDeviceParameterCount);
    for (int p = 1; p <= kDeviceParameterCount; ++p) {
        if (e.effectSend != 0 && ((p == kChorus && e.effectType == 1) || (p == kDelay && e.effectType == 0)))
            continue;
        params.push_back(p);
    }
    return params;
}

std::string hexText(const MidiBytes& message) {
    static const char digits[] = "0123456789ABCDEF";
    std::string s;
    s.reserve(message.size() * 3);
    for (size_t i = 0; i < message.size(); ++i) {
        if (i) s.push_back(' ');
        s.push_back(digits[message[i] >> 4]);
        s.push_back(digits[message[i] & 15]);
    }
    return s;
}

}  // namespace kf
