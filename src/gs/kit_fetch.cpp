#include "gs/kit_fetch.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>

#include "gs/dt1.h"
#include "gs/sysex.h"
#include "midi/midi_bytes.h"
#include "midi/midi_in.h"
#include "midi/midi_out.h"
#include "model/parameters.h"
#include "model/preset_sets.h"

namespace kf {

namespace {
constexpr unsigned kNameBytes = 12;

unsigned userAddress(int set, int parameter, int index) {
    return (unsigned{midi::kUserDrumArea} << 14) | (static_cast<unsigned>(16 * (set - 1) + parameter) << 7) |
           static_cast<unsigned>(index);
}

void putTriple(MidiBytes& m, unsigned v) {
    m.push_back(static_cast<std::uint8_t>((v >> 14) & 0x7F));
    m.push_back(static_cast<std::uint8_t>((v >> 7) & 0x7F));
    m.push_back(static_cast<std::uint8_t>(v & 0x7F));
}

// The source parameters come first: they decide what else a note needs.
constexpr int kSourceParameters[] = {kSourceMap, kSourceProgram, kSourceNote};
}  // namespace

MidiBytes gsDataRequest(unsigned address, unsigned size, std::uint8_t deviceId) {
    MidiBytes m{midi::kSysEx, midi::kRolandId, static_cast<std::uint8_t>(deviceId & 0x7F), midi::kGsModelId,
                midi::kDataRequest1};
    putTriple(m, address);
    putTriple(m, size);
    m.push_back(rolandChecksum(m.data() + midi::kDt1HeaderBytes, m.data() + m.size()));
    m.push_back(midi::kEndOfSysEx);
    return m;
}

KitFetch::KitFetch(const ReferenceTables* tables, FetchSettings settings) : tables_(tables), settings_(settings) {
    window_ = base();
    for (int set = 1; set <= kSetCount; ++set) plan(userAddress(set, 0, 0), kNameBytes);
    for (int note = 0; note < kNoteCount; ++note)
        for (int set = 1; set <= kSetCount; ++set)
            for (int p : kSourceParameters) plan(userAddress(set, p, note), 1);
}

KitFetch::KitFetch(const std::vector<UserDrumRead>& reads, FetchSettings settings) : tables_(nullptr), settings_(settings) {
    window_ = base();
    for (const UserDrumRead& r : reads)
        plan(userAddress(r.set, r.parameter, r.parameter == 0 ? 0 : r.note), r.parameter == 0 ? kNameBytes : 1);
}

std::optional<std::uint8_t> KitFetch::answered(int set, int note, int parameter) const {
    if (!have_[set - 1][note][parameter]) return std::nullopt;
    return value_[set - 1][note][parameter];
}

std::optional<std::string> KitFetch::answeredName(int set) const {
    const int s = set - 1;
    if (!std::all_of(std::begin(nameHave_[s]), std::end(nameHave_[s]), [](bool b) { return b; })) return std::nullopt;
    return std::string(name_[s], kNameBytes);
}

void KitFetch::plan(unsigned address, unsigned size) {
    waiting_.push_back({address, size});
    ++planned_;
}

const DrumInstrument* KitFetch::known(int set, int note) const {
    if (!tables_) return nullptr;
    const auto& v = value_[set - 1][note];
    for (const PresetDrumSet& s : tables_->sets)
        if (s.hasInstruments && s.map == v[kSourceMap] && s.program == v[kSourceProgram]) {
            const DrumInstrument& inst = s.instruments[v[kSourceNote] % kNoteCount];
            return inst.used ? &inst : nullptr;
        }
    return nullptr;
}

std::size_t KitFetch::base() const {
    return settings_.oneByOne ? 1 : static_cast<std::size_t>(std::max(1, settings_.window));
}

KitFetch::Clock::duration KitFetch::wait() const {
    const Clock::duration full = settings_.timeout;
    // Answers flowing for a while: an answer not come when half as long again as the slowest
    // so far has passed is lost, not late. Before that, or once the module falters, the wait
    // as set; never under half of it, for a module whose first answers were all quick.
    if (trips_ < kTrustedTrips || window_ < base()) return full;
    return std::clamp<Clock::duration>(slowest_ * 3 / 2, full / 2, full);
}

std::vector<MidiBytes> KitFetch::take(Clock::time_point now) {
    std::vector<MidiBytes> send;
    if (state_ != State::Running) return send;
    std::vector<Request> again;
    for (auto it = out_.begin(); it != out_.end();) {
        if (it->deadline > now) {
            ++it;
            continue;
        }
        if (it->tries >= kTries) {
            // Asked this often over seconds: it is the module, not the line.
            state_ = anyAnswer_ ? State::StoppedAnswering : State::NoAnswer;
            return send;
        }
        // Later requests answered: this one was lost on the way, and the others go on beside
        // its next try. Nothing answered since: a busy or stopped module is given room rather
        // than more to drop, one request at a time until answers flow again.
        if (lastAnswered_ < it->order) window_ = 1;
        again.push_back(*it);
        it = out_.erase(it);
    }
    // Asked once more, before anything new, in the order first asked.
    waiting_.insert(waiting_.begin(), again.begin(), again.end());
    const std::size_t window = std::min(window_, base());
    while (out_.size() < window && !waiting_.empty()) {
        // Until the module has answered once, nothing beyond the first window is asked.
        if (!anyAnswer_ && waiting_.front().tries == 0 && asked_ >= static_cast<int>(base())) break;
        Request r = waiting_.front();
        if (r.tries == 0) ++asked_;
        waiting_.pop_front();
        ++r.tries;
        // On the line after the ones before it in this batch.
        r.sent = now + std::chrono::milliseconds(5) * static_cast<int>(send.size());
        r.order = sentCount_++;
        // Each try waits longer: a late answer to the last one still counts.
        r.deadline = r.sent + wait() * r.tries;
        send.push_back(gsDataRequest(r.address, r.size, settings_.deviceId));
        out_.push_back(r);
    }
    if (out_.empty() && waiting_.empty()) state_ = State::Done;
    return send;
}

KitFetch::Clock::time_point KitFetch::nextDeadline(Clock::time_point now) const {
    if (state_ != State::Running || (out_.size() < std::min(window_, base()) && !waiting_.empty())) return now;
    Clock::time_point next = Clock::time_point::max();
    for (const Request& r : out_) next = std::min(next, r.deadline);
    return next;
}

bool KitFetch::answer(unsigned address, std::optional<Clock::time_point> at) {
    const auto holds = [address](const Request& r) { return address >= r.address && address < r.address + r.size; };
    const auto it = std::find_if(out_.begin(), out_.end(), holds);
    if (it != out_.end()) {
        // An answer to a request asked again could be to either try: only first tries time.
        if (at && it->tries == 1 && *at >= it->sent) {
            slowest_ = std::max(slowest_, *at - it->sent);
            ++trips_;
        }
        lastAnswered_ = std::max(lastAnswered_, it->order);
        out_.erase(it);
    } else {
        // More than was asked: what is already here needs no request of its own.
        const auto w = std::find_if(waiting_.begin(), waiting_.end(), holds);
        if (w == waiting_.end()) return false;
        waiting_.erase(w);
    }
    ++done_;
    anyAnswer_ = true;
    if (window_ < base()) ++window_;
    return true;
}

void KitFetch::store(unsigned address, std::uint8_t value) {
    const auto at = userDrumAt(address);
    if (!at) return;
    const int s = at->set - 1;
    if (at->parameter == 0) {
        name_[s][at->index] = static_cast<char>(value);
        nameHave_[s][at->index] = true;
        return;
    }
    value_[s][at->index][at->parameter] = value;
    have_[s][at->index][at->parameter] = true;
    const bool sourceKnown = have_[s][at->index][kSourceMap] && have_[s][at->index][kSourceProgram] &&
                             have_[s][at->index][kSourceNote];
    if (sourceKnown && !planned2_[s][at->index] && known(at->set, at->index)) {
        planned2_[s][at->index] = true;
        for (int p = 1; p <= 9; ++p)
            if (!have_[s][at->index][p]) plan(userAddress(at->set, p, at->index), 1);
    }
}

void KitFetch::received(const MidiBytes& m) { received(m, std::nullopt); }

void KitFetch::received(const MidiBytes& m, Clock::time_point at) { received(m, std::optional<Clock::time_point>(at)); }

void KitFetch::received(const MidiBytes& m, std::optional<Clock::time_point> when) {
    if (state_ != State::Running) return;
    // Only what could be an answer counts: a Roland exclusive message.
    if (m.size() < 5 || m[0] != midi::kSysEx || m[1] != midi::kRolandId) return;
    if (m[2] != settings_.deviceId || m[3] != midi::kGsModelId || m[4] != midi::kDataSet1) {
        ++otherDevice_;
        return;
    }
    std::vector<std::pair<unsigned, std::uint8_t>> bytes;
    const Dt1Status status =
        forEachDt1Byte(m.data(), m.size(), [&](unsigned address, std::uint8_t value) { bytes.emplace_back(address, value); });
    if (status != Dt1Status::Taken) {
        ++(status == Dt1Status::BadChecksum ? badChecksum_ : otherDevice_);
        return;
    }
    bool any = false;
    int nameOf = 0;  // the set whose name request this message answers
    for (const auto& [address, value] : bytes) {
        const auto at = userDrumAt(address);
        if (!at) continue;
        const bool asked = answer(address, when);
        if (asked && at->parameter == 0) nameOf = at->set;
        // The rest of a name comes with its first byte; a name byte in a message that answered
        // nothing could be anyone's and is left alone.
        if (asked || (at->parameter == 0 && at->set == nameOf)) {
            store(address, value);
            any = any || asked;
        }
    }
    if (!any) ++otherAddress_;
}

Kit KitFetch::result(FetchSummary* summary) const {
    Kit kit;
    kit.reset();
    FetchSummary sum;
    for (int set = 1; set <= kSetCount; ++set) {
        const int s = set - 1;
        if (std::all_of(std::begin(nameHave_[s]), std::end(nameHave_[s]), [](bool b) { return b; })) {
            std::string name(name_[s], kNameBytes);
            name.erase(name.find_last_not_of(' ') + 1);
            kit.setSetName(set, name);
            ++sum.names;
        }
        for (int note = 0; note < kNoteCount; ++note) {
            const auto& v = value_[s][note];
            const auto& h = have_[s][note];
            IncompleteNote gap{set, note, {}};
            for (int p : kSourceParameters)
                if (!h[p]) gap.missing.push_back(p);
            // Until the source is whole nobody knows what else the note needs.
            const DrumInstrument* inst = gap.missing.empty() ? known(set, note) : nullptr;
            if (inst)
                for (int p = 1; p <= kDeviceParameterCount; ++p)
                    if (!h[p]) gap.missing.push_back(p);
            if (!gap.missing.empty()) {
                sum.incomplete.push_back(std::move(gap));
                continue;
            }
            if (!inst) continue;  // the module plays nothing we could name there
            DrumNoteEntry& e = kit.entry(set, note);
            e.assignInstrument(*inst);
            e.used = 1;
            for (int p = 1; p <= kDeviceParameterCount; ++p)
                if (p != kChorus && p != kDelay) setParameterValue(e, p, v[p]);
            // Chorus and delay share one send: the larger wins, delay only when strictly larger.
            e.effectSend = std::max(v[kChorus], v[kDelay]);
            e.effectType = v[kDelay] > v[kChorus] ? 1 : 0;
            ++sum.notes[s];
        }
    }
    sum.unanswered = state_ == State::Done ? 0 : static_cast<int>(out_.size() + waiting_.size());
    sum.otherDevice = otherDevice_;
    sum.otherAddress = otherAddress_;
    sum.badChecksum = badChecksum_;
    sum.ignored = otherDevice_ + otherAddress_ + badChecksum_;
    if (summary) *summary = sum;
    return kit;
}

KitFetch::State runFetch(KitFetch& fetch, MidiOut& out, MidiIn& in, const std::atomic<bool>& cancel,
                         const std::function<void(int, int)>& progress) {
    return runFetch(
        fetch, out, [&in](std::function<void(const MidiBytes&)> take) { in.setHandler(std::move(take)); }, cancel,
        progress);
}

KitFetch::State runFetch(KitFetch& fetch, MidiOut& out, const Listen& listen, const std::atomic<bool>& cancel,
                         const std::function<void(int, int)>& progress) {
    std::mutex m;
    std::condition_variable cv;
    std::deque<std::pair<MidiBytes, KitFetch::Clock::time_point>> inbox;
    listen([&](const MidiBytes& message) {
        const auto at = KitFetch::Clock::now();
        {
            std::lock_guard<std::mutex> lock(m);
            inbox.emplace_back(message, at);
        }
        cv.notify_one();
    });
    std::unique_lock<std::mutex> lock(m);
    for (;;) {
        while (!inbox.empty()) {
            const auto [message, at] = std::move(inbox.front());
            inbox.pop_front();
            fetch.received(message, at);
        }
        if (cancel) fetch.cancel();
        const auto now = KitFetch::Clock::now();
        lock.unlock();
        for (const MidiBytes& request : fetch.take(now)) out.sendLong(request);
        if (progress) progress(fetch.done(), fetch.planned());
        lock.lock();
        if (fetch.state() != KitFetch::State::Running) break;
        // Woken by an answer; a cancel is seen within a tenth of a second.
        const auto until = std::min(fetch.nextDeadline(now), now + std::chrono::milliseconds(100));
        cv.wait_until(lock, until, [&] { return !inbox.empty(); });
    }
    lock.unlock();
    listen({});
    return fetch.state();
}

}  // namespace kf
