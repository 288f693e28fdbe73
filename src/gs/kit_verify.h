// Comparing the Kit with what the module holds: the reads that settle it, the differences,
// and the rounds that send only what differs and look again. The reads go out and come back
// through KitFetch, as a fetch's do.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "gs/kit_fetch.h"
#include "midi/midi_backend.h"
#include "model/kit.h"

namespace kf {

// Where the module does not hold what the Kit says. parameter 0 is the set's name (note -1),
// else a device parameter 1..12 of a note.
struct Difference {
    int set = 1;
    int note = -1;
    int parameter = 0;
    int kitValue = 0;
    int moduleValue = kNoAnswer;
    std::string kitName, moduleName;  // a name's 12 bytes as they go on the line
    static constexpr int kNoAnswer = -1;
    bool operator==(const Difference& o) const {
        return set == o.set && note == o.note && parameter == o.parameter && kitValue == o.kitValue &&
               moduleValue == o.moduleValue && kitName == o.kitName && moduleName == o.moduleName;
    }
};

struct VerifyReport {
    KitFetch::State state = KitFetch::State::NoAnswer;
    std::vector<Difference> differences;  // names first, then by set, note and parameter
    FetchSummary summary;                 // the answers ignored, by kind
    bool same() const { return state == KitFetch::State::Done && differences.empty(); }
    // Notes with at least one difference.
    int notesDiffering() const;
    int namesDiffering() const;
};

// Both names, and all twelve parameters of every used note: what the whole-kit transfer sent.
std::vector<UserDrumRead> verifyReads(const Kit& kit);
// What differs between the Kit and the module's answers; a read never answered differs too.
VerifyReport compareAnswers(const Kit& kit, const KitFetch& answers, KitFetch::State state);

// What mends the differences: a message per differing parameter, one per differing name.
std::vector<MidiBytes> repairMessages(const Kit& kit, const std::vector<Difference>& differences);

// Roland asks for this much quiet after each DT1 the SC-88Pro is to take.
constexpr int kRepairPauseMs = 40;
constexpr int kRepairRounds = 3;

// Starting from a compare's report: sends what differs, compares again, at most rounds times,
// until nothing differs. compare runs one compare to its end and gives its state; send hands
// the messages on paced and returns once they are out, false when the user stopped it.
struct RepairOutcome {
    VerifyReport last;  // what still differs
    int rounds = 0;     // times something was sent
    int sent = 0;       // messages in all
};
RepairOutcome repairRounds(const Kit& kit, VerifyReport start, const FetchSettings& settings,
                           const std::function<KitFetch::State(KitFetch&)>& compare,
                           const std::function<bool(const std::vector<MidiBytes>&)>& send,
                           int rounds = kRepairRounds);
// One compare through compare.
VerifyReport runCompare(const Kit& kit, const FetchSettings& settings,
                        const std::function<KitFetch::State(KitFetch&)>& compare);

// "play note", "level", …; "name" for 0.
const char* deviceParameterName(int parameter);
// One line of a difference: "set 1 note 36 level: kit 100, module 64".
std::string describeDifference(const Difference& d);

}  // namespace kf
