#include "editor/comparison.h"

#include <algorithm>

namespace kf::ui {

void Comparison::noteSent(int set, int note) {
    if (!compared_) return;
    auto& d = compared_->differences;
    const auto ofNote = [set, note](const Difference& x) { return x.parameter != 0 && x.set == set && x.note == note; };
    const auto end = std::remove_if(d.begin(), d.end(), ofNote);
    if (end == d.end()) return;
    d.erase(end, d.end());
    marked_.erase({set, note});
    x_.notify([this](EditorObserver& o) { o.differencesChanged(&*compared_); });
}

void Comparison::forget() {
    if (!compared_) return;
    compared_.reset();
    marked_.clear();
    x_.notify([](EditorObserver& o) { o.differencesChanged(nullptr); });
}

void Comparison::take(const Result& result) {
    const KitFetch::State state = result.report.state;
    if (state == KitFetch::State::Cancelled || state == KitFetch::State::NoAnswer) return;
    compared_ = result.report;
    marked_.clear();
    for (const Difference& d : compared_->differences)
        if (d.parameter != 0) marked_.emplace(d.set, d.note);
    x_.notify([this](EditorObserver& o) { o.differencesChanged(&*compared_); });
}

Comparison::Result Comparison::compare() {
    const Options& o = x_.state.options;
    const int wanted = o.midiInPort;
    Result result;
    {
        // It may run inside a file command's busy time (an open that sent the kit): left as found.
        const BusyTime busy(x_.state);
        // The reads must find what was sent: whatever is still queued goes first, as the user
        // watches; stopped, it is compared as far as it went.
        if (x_.transfer && x_.transfer->active()) x_.transfer->waitUntilSent();
        result = x_.session.compare(x_.document.kit(), o.fetchOneByOne, wanted, o.midiThru, x_.transfer);
    }
    x_.settleInputPort(wanted, result.inputPort);
    take(result);
    return result;
}

Comparison::Result Comparison::sendDifferences() {
    if (!compared_) {
        Result first = compare();
        if (!compared_ || compared_->same()) return first;
    }
    const Options& o = x_.state.options;
    const int wanted = o.midiInPort;
    Result result;
    {
        const BusyTime busy(x_.state);
        result = x_.session.repair(x_.document.kit(), *compared_, o.fetchOneByOne, wanted, o.midiThru, x_.transfer);
    }
    x_.settleInputPort(wanted, result.inputPort);
    take(result);
    return result;
}

void Comparison::verifyTransfer() {
    if (!x_.state.options.verifyAfterSend || !x_.session.preview()) return;
    Result result = compare();
    if (compared_ && !compared_->same() && result.report.state == KitFetch::State::Done) result = sendDifferences();
    x_.notify([&result](EditorObserver& o) { o.compareEnded(result, true); });
}

}  // namespace kf::ui
