#include "files/kit_file.h"

#include <cstdio>

#include "files/fields.h"
#include "model/sjis.h"
#include "model/parameters.h"

namespace kf {

const char* const kRefusedVersionText = "このﾊﾞｰｼﾞｮﾝでは扱えないﾌｧｲﾙです。";
const char* const kNotKitFileText = "Kitforge のﾌｧｲﾙではありません。";

namespace {

constexpr const char* kMagic = "@KFG FORMAT";
constexpr int kWrittenVersion = 100;
constexpr int kMinVersion = 100;
constexpr int kMaxVersion = 120;

// Instrument names lose surrounding blanks and their commas, which would split the line.
std::string cleanInstrumentName(std::string_view name) {
    // Trimming can strip the trail byte of a malformed two-byte character; the lone lead
    // byte goes too, so the name reads back exactly as written.
    std::string s(sjis::trim(name));
    for (std::string prev; prev != s;) {
        prev = s;
        s = std::string(sjis::trim(sjis::cut(s, s.size())));
    }
    for (char& c : s)
        if (c == ',') c = ' ';
    return s;
}

void readEntryLine(std::string_view line, int setIndex, Kit& kit) {
    const int note = numberField(field(line, 2), 0);
    DrumNoteEntry& e = kit.entry(setIndex == 0 ? 1 : 2, note);
    // A field left out takes the parameter's value for a missing field.
    auto number = [&](int column, int p) {
        const int missing = deviceParameterInfo(p).missing;
        return static_cast<std::uint8_t>(numberField(field(line, column), missing == kTheNoteItself ? note : missing));
    };
    auto flag = [&](int column, int p) {
        return static_cast<std::uint8_t>(integerOr(field(line, column), deviceParameterInfo(p).missing) & 0xFF);
    };
    e.name = sjis::cut(field(line, 3), 20);
    e.sourceMap = number(4, kSourceMap);
    e.sourceProgram = number(5, kSourceProgram);
    e.sourceNote = number(6, kSourceNote);
    e.playNote = number(7, kPlayNote);
    e.level = number(8, kLevel);
    e.pan = number(9, kPan);
    e.reverb = number(10, kReverb);
    e.effectSend = number(11, kChorus);
    e.effectType = integerOr(field(line, 12), 1) != 0 ? 0 : 1;  // the file's 1 is chorus
    e.assignGroup = number(13, kAssignGroup);
    e.rxNoteOff = flag(14, kRxNoteOff);
    e.rxNoteOn = flag(15, kRxNoteOn);
    e.used = 1;
}

void readNameLine(std::string_view line, Kit& kit) {
    const int setIndex = integerOr(field(line, 2), 0);
    // The name is the whole rest of the line, so a name holding a comma survives.
    const std::string name = sjis::cut(restFrom(line, 3), 12);
    kit.setSetName(setIndex == 0 ? 1 : 2, std::string(sjis::cutBeforeHighByte(name)));
}

}  // namespace

std::string WriteKitFile(const Kit& kit) {
    std::string out;
    out.reserve(64 + 256 * 64);
    out += std::string(kMagic) + "," + std::to_string(kWrittenVersion) + "\r\n";
    char buf[160];
    for (int set = 1; set <= kSetCount; ++set) {
        out += "@NAME," + std::to_string(set - 1) + "," + kit.setName(set) + "\r\n";
        for (int note = 0; note < kNoteCount; ++note) {
            const DrumNoteEntry& e = kit.entry(set, note);
            if (!e.used) continue;
            out += std::to_string(set - 1) + "," + std::to_string(note) + "," + cleanInstrumentName(e.name);
            std::snprintf(buf, sizeof buf, ",%d,%d,%d,%d,%d,%d,%d,%d,%d,%d,%d,%d\r\n", e.sourceMap, e.sourceProgram,
                          e.sourceNote, e.playNote, e.level, e.pan, e.reverb, e.effectSend, 1 - e.effectType,
                          e.assignGroup, e.rxNoteOff ? 1 : 0, e.rxNoteOn ? 1 : 0);
            out += buf;
        }
    }
    return out;
}

KitReadResult ReadKitFile(std::string_view bytes, Kit& kit, const std::function<void()>& pump) {
    KitReadResult result;
    std::optional<std::string_view> magic;
    std::string_view line;
    for (LineReader lines(bytes); lines.next(line);)
        if (!line.empty() && sjis::upper(field(line, 1)) == kMagic) {
            magic = line;
            break;
        }
    if (!magic) return result;
    result.version = integerOr(field(*magic, 2), 0);
    if (result.version < kMinVersion || result.version > kMaxVersion) {
        result.status = KitReadResult::RefusedVersion;
        return result;
    }
    for (LineReader lines(bytes); lines.next(line);) {
        if (line.empty()) continue;
        if (pump) pump();
        const std::string_view first = field(line, 1);
        if (const auto setIndex = digitsField(first)) readEntryLine(line, *setIndex, kit);
        else if (sjis::upper(first) == "@NAME") readNameLine(line, kit);
    }
    result.status = KitReadResult::Read;
    result.firstUsed = firstUsedEntry(kit);
    return result;
}

std::optional<std::pair<int, int>> firstUsedEntry(const Kit& kit) {
    for (int set = 1; set <= kSetCount; ++set)
        for (int note = 0; note < kNoteCount; ++note)
            if (kit.entry(set, note).used) return std::make_pair(set, note);
    return std::nullopt;
}

}  // namespace kf
