// The document compared with what the module holds: the compare, the sending of what differs,
// and the notes marked as differing until they are edited or compared again.
#pragma once

#include <optional>
#include <set>
#include <utility>

#include "editor/editor_context.h"

namespace kf::ui {

class Comparison {
public:
    using Result = ModuleSession::Compare;
    explicit Comparison(EditorContext& x) : x_(x) {}

    // Reads back what the document says the module holds, once what is queued has gone.
    Result compare();
    // Sends what the last compare found different (comparing first when none is known), then
    // compares again, up to three rounds.
    Result sendDifferences();
    // With the option on: the whole kit just sent is compared and mended.
    void verifyTransfer();
    // What the last compare found still differing; none while nothing is known.
    const VerifyReport* differences() const { return compared_ ? &*compared_ : nullptr; }
    bool differs(int set, int note) const { return marked_.count({set, note}) != 0; }
    // A note's parameters went to the module: what a compare found there no longer stands.
    void noteSent(int set, int note);
    // Another kit came: nothing is known.
    void forget();

private:
    // A compare's result becomes what is known, unless it did not run to its end.
    void take(const Result& result);

    EditorContext& x_;
    std::optional<VerifyReport> compared_;
    std::set<std::pair<int, int>> marked_;
};

}  // namespace kf::ui
