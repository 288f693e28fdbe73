#include "gs/kit_verify.h"

#include <set>

#include "gs/sysex.h"
#include "model/parameters.h"

namespace kf {

namespace {
// The name as it goes on the line: 12 bytes, blanks after.
std::string lineName(const Kit& kit, int set) {
    const MidiBytes m = buildNameMessage(kit, set);
    return std::string(m.begin() + 8, m.begin() + 20);
}

std::string trimmed(std::string s) {
    s.erase(s.find_last_not_of(' ') + 1);
    return s;
}
}  // namespace

int VerifyReport::notesDiffering() const {
    std::set<std::pair<int, int>> notes;
    for (const Difference& d : differences)
        if (d.parameter != 0) notes.emplace(d.set, d.note);
    return static_cast<int>(notes.size());
}

int VerifyReport::namesDiffering() const {
    int names = 0;
    for (const Difference& d : differences) names += d.parameter == 0 ? 1 : 0;
    return names;
}

std::vector<UserDrumRead> verifyReads(const Kit& kit) {
    std::vector<UserDrumRead> reads;
    for (int set = 1; set <= kSetCount; ++set) reads.push_back({set, 0, 0});
    for (int set = 1; set <= kSetCount; ++set)
        for (int note = 0; note < kNoteCount; ++note)
            if (kit.entry(set, note).used)
                for (int p = 1; p <= kDeviceParameterCount; ++p) reads.push_back({set, p, note});
    return reads;
}

VerifyReport compareAnswers(const Kit& kit, const KitFetch& answers, KitFetch::State state) {
    VerifyReport report;
    report.state = state;
    answers.result(&report.summary);
    for (int set = 1; set <= kSetCount; ++set) {
        const std::string want = lineName(kit, set);
        const auto got = answers.answeredName(set);
        if (got && *got == want) continue;
        Difference d;
        d.set = set;
        d.kitName = want;
        if (got) {
            d.moduleName = *got;
            d.moduleValue = 0;
        }
        report.differences.push_back(d);
    }
    for (int set = 1; set <= kSetCount; ++set)
        for (int note = 0; note < kNoteCount; ++note) {
            if (!kit.entry(set, note).used) continue;
            for (int p = 1; p <= kDeviceParameterCount; ++p) {
                const int want = parameterValue(kit, set, note, p);
                const auto got = answers.answered(set, note, p);
                if (got && *got == want) continue;
                Difference d;
                d.set = set;
                d.note = note;
                d.parameter = p;
                d.kitValue = want;
                if (got) d.moduleValue = *got;
                report.differences.push_back(d);
            }
        }
    return report;
}

std::vector<MidiBytes> repairMessages(const Kit& kit, const std::vector<Difference>& differences) {
    std::vector<MidiBytes> messages;
    for (const Difference& d : differences)
        messages.push_back(d.parameter == 0 ? buildNameMessage(kit, d.set)
                                            : buildParameterMessage(kit, d.set, d.note, d.parameter));
    return messages;
}

VerifyReport runCompare(const Kit& kit, const FetchSettings& settings,
                        const std::function<KitFetch::State(KitFetch&)>& compare) {
    KitFetch reads(verifyReads(kit), settings);
    const KitFetch::State state = compare(reads);
    return compareAnswers(kit, reads, state);
}

RepairOutcome repairRounds(const Kit& kit, VerifyReport start, const FetchSettings& settings,
                           const std::function<KitFetch::State(KitFetch&)>& compare,
                           const std::function<bool(const std::vector<MidiBytes>&)>& send, int rounds) {
    RepairOutcome outcome;
    outcome.last = std::move(start);
    // A module that stopped answering is not mended by more to drop.
    while (outcome.rounds < rounds && !outcome.last.differences.empty() &&
           outcome.last.state == KitFetch::State::Done) {
        const std::vector<MidiBytes> messages = repairMessages(kit, outcome.last.differences);
        ++outcome.rounds;
        outcome.sent += static_cast<int>(messages.size());
        if (!send(messages)) break;
        outcome.last = runCompare(kit, settings, compare);
    }
    return outcome;
}

const char* deviceParameterName(int parameter) {
    static const char* const kNames[] = {"name",   "play note",   "level",      "group", "pan",
                                         "reverb", "chorus",      "rx note off", "rx note on", "delay",
                                         "map",    "program",     "source note"};
    return parameter >= 0 && parameter <= kDeviceParameterCount ? kNames[parameter] : "";
}

std::string describeDifference(const Difference& d) {
    const auto value = [](int v) { return v == Difference::kNoAnswer ? std::string("no answer") : std::to_string(v); };
    if (d.parameter == 0)
        return "set " + std::to_string(d.set) + " name: kit \"" + trimmed(d.kitName) + "\", module " +
               (d.moduleValue == Difference::kNoAnswer ? std::string("no answer") : "\"" + trimmed(d.moduleName) + "\"");
    return "set " + std::to_string(d.set) + " note " + std::to_string(d.note) + " " + deviceParameterName(d.parameter) +
           ": kit " + std::to_string(d.kitValue) + ", module " + value(d.moduleValue);
}

}  // namespace kf
