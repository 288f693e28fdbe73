#include "midi/midi_out.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "midi/midi_bytes.h"
#include "midi/owner_thread.h"

namespace kf {

using std::chrono::duration_cast;
using std::chrono::microseconds;

int shortMessageLength(std::uint8_t status) {
    if (status < midi::kSysEx) return 1 + midi::channelDataBytes(status);
    switch (status) {
        case midi::kTimeCodeQuarterFrame:
        case midi::kSongSelect: return 2;
        case midi::kSongPosition: return 3;
        default: return 1;
    }
}

// What the sender thread and its callers share; kept out of the header.
class MidiOut::Impl {
public:
    Impl(std::unique_ptr<MidiBackend> backend, std::shared_ptr<SenderClock> clock);
    ~Impl();
    int deviceCount();
    std::string deviceName(int id);
    bool openPort(int id, const std::vector<MidiBytes>& first);
    void expectOpen();
    void closePort();
    bool isOpen() const { return open_.load(); }
    MidiError lastOpenError() const;
    void configure(const std::function<void(MidiBackend&)>& f);
    void later(std::function<void()> job);
    void sendShort(std::uint8_t status, std::uint8_t data1, std::uint8_t data2);
    void sendLong(const MidiBytes& message);
    void setPacing(const Pacing& pacing);
    Pacing pacing() const;
    SendProgress progress() const;
    void cancel();
    bool flush(std::chrono::milliseconds bound);
    void setDropHandler(std::function<void(const std::string&)> handler);
    void setObserver(std::function<void()> observer);
    long droppedCount() const { return dropped_.load(); }
    long cancelledCount() const { return cancelled_.load(); }

    void enqueue(MidiBytes message);
    void run();
    // Runs job on the sender thread, in order with other jobs, before the next message;
    // inline when called there.
    void call(const std::function<void()>& job);
    bool onSenderThread() const { return std::this_thread::get_id() == sender_.get_id(); }
    // On the sender thread.
    bool openHere(int id, const std::vector<MidiBytes>& first);
    std::size_t closeHere();
    std::string deviceNameHere(int id);
    // With m_ held: counts n lost messages and why; whether this loss is the first on the open
    // port.
    bool countLostLocked(std::size_t n, const MidiError& why);
    void reportDrop();
    void notifyObserver();
    std::chrono::microseconds leftLocked() const;

    std::unique_ptr<MidiBackend> backend_;
    std::shared_ptr<SenderClock> clock_;
    std::atomic<bool> open_{false};
    std::atomic<bool> opening_{false};  // an open is on its way: sends wait in early_
    std::vector<MidiBytes> early_;
    std::atomic<int> lastId_{0};  // written on the sender thread

    mutable std::mutex m_;
    std::condition_variable cv_;
    MidiError openError_;
    MidiError dropError_;
    std::deque<std::function<void()>> jobs_;
    SendQueue queue_;
    Pacing pacing_;
    SenderClock::time_point nextFree_{};
    // Until when the module is still reinitialising; held at every speed, unlimited included.
    SenderClock::time_point settledAt_{};
    bool inFlight_ = false;
    bool pacingWait_ = false;  // the sender waits for a message's due time, not the transport
    // The clock stood still and nobody has waited on the queue since.
    bool held_ = false;
    bool stop_ = false;
    std::size_t transferSent_ = 0;
    std::size_t taken_ = 0;  // messages the transport has taken since start
    std::chrono::microseconds slowSend_{0};  // how long the transport itself takes a message
    std::string portName_;
    bool dropReported_ = false;
    std::function<void(const std::string&)> onDrop_;
    std::function<void()> observer_;
    mutable std::atomic<bool> observerArmed_{true};
    std::atomic<long> dropped_{0};
    std::atomic<long> cancelled_{0};
    std::thread sender_;
};

MidiOut::Impl::Impl(std::unique_ptr<MidiBackend> backend, std::shared_ptr<SenderClock> clock)
    : backend_(std::move(backend)), clock_(std::move(clock)) {
    held_ = clock_->stopped();
    clock_->onStopChange([this] {
        {
            std::lock_guard<std::mutex> lock(m_);
            held_ = clock_->stopped();
        }
        cv_.notify_all();
    });
    sender_ = std::thread([this] { run(); });
}

MidiOut::Impl::~Impl() {
    clock_->onStopChange({});
    closePort();
    {
        std::lock_guard<std::mutex> lock(m_);
        stop_ = true;
    }
    cv_.notify_all();
    sender_.join();
}

void MidiOut::Impl::later(std::function<void()> job) {
    {
        std::lock_guard<std::mutex> lock(m_);
        jobs_.push_back(std::move(job));
    }
    cv_.notify_all();
}

void MidiOut::Impl::call(const std::function<void()>& job) {
    runOn(sender_.get_id(), [this](std::function<void()> handed) { later(std::move(handed)); }, job);
}

void MidiOut::Impl::configure(const std::function<void(MidiBackend&)>& f) {
    call([&] { f(*backend_); });
}

int MidiOut::Impl::deviceCount() {
    int n = 0;
    call([&] { n = static_cast<int>(backend_->ports().size()); });
    return n;
}

std::string MidiOut::Impl::deviceName(int id) {
    std::string name;
    call([&] { name = deviceNameHere(id); });
    return name;
}

std::string MidiOut::Impl::deviceNameHere(int id) {
    if (id == -1) return backend_->ownPortName();
    if (id == kBuiltInSynth) return backend_->hasBuiltInSynth() ? kBuiltInSynthName : std::string();
    const auto names = backend_->ports();
    if (id < 0 || id >= static_cast<int>(names.size())) return {};
    return names[static_cast<size_t>(id)];
}

MidiError MidiOut::Impl::lastOpenError() const {
    std::lock_guard<std::mutex> lock(m_);
    return openError_;
}

bool MidiOut::Impl::openPort(int id, const std::vector<MidiBytes>& first) {
    // What the old port still has to send drains before it goes; on the sender thread it
    // cannot wait for itself, and openHere drops it instead.
    if (!onSenderThread() && open_ && id != lastId_) closePort();
    bool ok = false;
    call([&] { ok = openHere(id, first); });
    return ok;
}

void MidiOut::Impl::expectOpen() {
    std::lock_guard<std::mutex> lock(m_);
    opening_ = true;
}

bool MidiOut::Impl::openHere(int id, const std::vector<MidiBytes>& first) {
    if (open_ && id == lastId_) {
        std::vector<MidiBytes> early;
        {
            std::lock_guard<std::mutex> lock(m_);
            early.swap(early_);
            opening_ = false;
        }
        for (const auto& m : first) enqueue(m);
        for (auto& m : early) enqueue(std::move(m));
        return true;
    }
    if (open_) {
        // Only an open without a close before it gets here: what is queued cannot wait.
        std::size_t lost = closeHere();
        {
            std::lock_guard<std::mutex> lock(m_);
            lost += queue_.clear();
            if (lost > 0) countLostLocked(lost, {MidiError::Other, "dropped for the next port"});
        }
    }
    MidiError error;
    const std::string name = deviceNameHere(id);
    const bool ok = backend_->open(id, &error);
    if (!ok && error.kind == MidiError::None) error.kind = MidiError::Other;
    std::unique_lock<std::mutex> lock(m_);
    openError_ = ok ? MidiError{} : error;
    opening_ = false;
    if (!ok) {
        // The failed open is reported on its own; what waited for it is only counted.
        dropped_ += static_cast<long>(early_.size());
        early_.clear();
        return false;
    }
    lastId_ = id;
    portName_ = name;
    dropReported_ = false;
    nextFree_ = settledAt_ = clock_->now();
    for (const auto& m : first)
        if (!m.empty()) queue_.push(m);
    for (auto& m : early_) queue_.push(std::move(m));
    const bool waiting = !early_.empty();
    early_.clear();
    open_ = true;
    lock.unlock();
    if (waiting) {
        cv_.notify_all();
        notifyObserver();
    }
    return true;
}

std::size_t MidiOut::Impl::closeHere() {
    open_ = false;
    return backend_->close();
}

void MidiOut::Impl::closePort() {
    if (!open_) return;
    bool report = false;
    {
        std::unique_lock<std::mutex> lock(m_);
        held_ = false;
        cv_.notify_all();
        // As long as the transport keeps taking messages, the transfer is still moving.
        std::size_t seen = taken_;
        auto lastMove = std::chrono::steady_clock::now();
        while (!queue_.empty() || inFlight_) {
            cv_.wait_for(lock, std::chrono::milliseconds(20));
            const auto now = std::chrono::steady_clock::now();
            if (taken_ != seen || pacingWait_) {
                seen = taken_;
                lastMove = now;
            } else if (now - lastMove > kStuck) {
                break;
            }
        }
        if (!queue_.empty()) report = countLostLocked(queue_.clear(), {MidiError::Stalled, "the transport took nothing"});
    }
    std::size_t lost = 0;
    call([&] { lost = closeHere(); });
    if (lost > 0) {
        std::lock_guard<std::mutex> lock(m_);
        report = countLostLocked(lost, {MidiError::Stalled, "left undelivered when the port closed"}) || report;
    }
    if (report) reportDrop();
    notifyObserver();
}

void MidiOut::Impl::sendShort(std::uint8_t status, std::uint8_t data1, std::uint8_t data2) {
    const std::uint8_t msg[3] = {status, data1, data2};
    enqueue(MidiBytes(msg, msg + shortMessageLength(status)));
}

void MidiOut::Impl::sendLong(const MidiBytes& message) { enqueue(message); }

void MidiOut::Impl::enqueue(MidiBytes message) {
    if ((!open_ && !opening_) || message.empty()) return;
    {
        std::lock_guard<std::mutex> lock(m_);
        if (!open_) {
            // The open answers under this lock, so the message is either kept for it or queued.
            if (opening_) early_.push_back(std::move(message));
            return;
        }
        // A new transfer starts only when the last one has ended, the line included: a message
        // that left before the next was queued belongs to the same transfer.
        if (queue_.empty() && !inFlight_ && (pacing_.unlimited || clock_->now() >= nextFree_)) transferSent_ = 0;
        queue_.push(std::move(message));
    }
    cv_.notify_all();
    notifyObserver();
}

void MidiOut::Impl::setPacing(const Pacing& pacing) {
    {
        std::lock_guard<std::mutex> lock(m_);
        pacing_ = pacing;
        pacing_.sysexPause = std::clamp(pacing.sysexPause, std::chrono::milliseconds(0),
                                        std::chrono::milliseconds(kMaxSysexPauseMs));
    }
    cv_.notify_all();
}

Pacing MidiOut::Impl::pacing() const {
    std::lock_guard<std::mutex> lock(m_);
    return pacing_;
}

microseconds MidiOut::Impl::leftLocked() const {
    microseconds wire = queue_.settleTotal();
    if (pacing_.unlimited) wire += queue_.settlingWire();
    const auto busyFor = duration_cast<microseconds>((pacing_.unlimited ? settledAt_ : nextFree_) - clock_->now());
    if (busyFor.count() > 0) wire += busyFor;
    if (!pacing_.unlimited)
        wire += kWireTimePerByte * static_cast<long>(queue_.bytes()) +
                duration_cast<microseconds>(pacing_.sysexPause) * static_cast<long>(queue_.sysexCount());
    // A transport slower than the cable sets the pace itself.
    const microseconds measured = slowSend_ * static_cast<long>(queue_.size() + (inFlight_ ? 1 : 0));
    return std::max(wire, measured);
}

SendProgress MidiOut::Impl::progress() const {
    observerArmed_ = true;
    std::lock_guard<std::mutex> lock(m_);
    SendProgress p;
    p.sent = transferSent_;
    p.queued = queue_.size() + (inFlight_ ? 1 : 0);
    p.left = p.queued > 0 ? leftLocked() : microseconds(0);
    return p;
}

void MidiOut::Impl::cancel() {
    {
        std::lock_guard<std::mutex> lock(m_);
        cancelled_ += static_cast<long>(queue_.clear());
    }
    sendShort(midi::kRhythmControl, midi::kAllSoundOff, 0x00);
}

bool MidiOut::Impl::flush(std::chrono::milliseconds bound) {
    std::unique_lock<std::mutex> lock(m_);
    held_ = false;
    cv_.notify_all();
    return cv_.wait_for(lock, bound, [this] { return queue_.empty() && !inFlight_; });
}

void MidiOut::Impl::setDropHandler(std::function<void(const std::string&)> handler) {
    std::lock_guard<std::mutex> lock(m_);
    onDrop_ = std::move(handler);
}

void MidiOut::Impl::setObserver(std::function<void()> observer) {
    std::lock_guard<std::mutex> lock(m_);
    observer_ = std::move(observer);
}

bool MidiOut::Impl::countLostLocked(std::size_t n, const MidiError& why) {
    dropped_ += static_cast<long>(n);
    dropError_ = why;
    if (dropReported_) return false;
    dropReported_ = true;
    return true;
}

void MidiOut::Impl::reportDrop() {
    std::function<void(const std::string&)> handler;
    std::string name;
    {
        std::lock_guard<std::mutex> lock(m_);
        handler = onDrop_;
        name = portName_;
    }
    if (handler) handler(name);
}

void MidiOut::Impl::notifyObserver() {
    if (!observerArmed_.exchange(false)) return;
    std::function<void()> observer;
    {
        std::lock_guard<std::mutex> lock(m_);
        observer = observer_;
    }
    if (observer) observer();
    else observerArmed_ = true;
}

void MidiOut::Impl::run() {
    std::unique_lock<std::mutex> lock(m_);
    for (;;) {
        if (!jobs_.empty()) {
            auto job = std::move(jobs_.front());
            jobs_.pop_front();
            lock.unlock();
            job();
            lock.lock();
            cv_.notify_all();
            continue;
        }
        if (stop_) return;
        if (queue_.empty() || held_) {
            cv_.wait(lock);
            continue;
        }
        const auto now = clock_->now();
        const bool unlimited = pacing_.unlimited || !backend_->wantsPacing();
        const auto due = std::max(now, unlimited ? settledAt_ : nextFree_);
        // A transport with a timeline takes a message ahead, unpaced ones too: it holds each
        // one itself while the module settles, counted from where the reset really went.
        const microseconds lead = backend_->lead();
        if (due - lead > now) {
            // Woken early by a new message, a replacement, a cancel or a job: look again.
            pacingWait_ = true;
            clock_->waitUntil(cv_, lock, due - lead);
            pacingWait_ = false;
            continue;
        }
        const MidiBytes message = queue_.pop();
        const microseconds wire = unlimited ? microseconds(0) : wireTime(message, pacing_);
        // A synth of our own is ready at once; a module needs its time after a reset, from the
        // moment it has the reset's last byte: at the line's speed, however fast we send.
        const microseconds settle = backend_->wantsPacing() ? settleTime(message) : microseconds(0);
        const microseconds hold = settle.count() > 0 ? wireTime(message, Pacing{}) + settle : microseconds(0);
        const bool timed = lead.count() > 0 && !unlimited;
        inFlight_ = true;
        lock.unlock();
        const auto started = std::chrono::steady_clock::now();
        const bool ok = timed ? backend_->sendAt(message.data(), message.size(), duration_cast<microseconds>(due - now))
                            : backend_->send(message.data(), message.size());
        const auto took = duration_cast<microseconds>(std::chrono::steady_clock::now() - started);
        MidiError why;
        if (!ok) {
            why = backend_->sendError();
            if (why.kind == MidiError::None) why = {MidiError::Other, "the transport did not take a message"};
        }
        lock.lock();
        if (ok) {
            ++transferSent_;
            ++taken_;
            // The line is busy from the hand-over on: a send that went out late must not let
            // the next one follow sooner than the cable would. A transport that places each
            // message at its due time keeps to the schedule itself. Without a timeline the
            // message starts when the transport took it.
            nextFree_ = (timed ? due : std::max(due, clock_->now())) + wire + settle;
            settledAt_ = std::max(due, clock_->now()) + hold;
            slowSend_ = took > wire * 2 && took > microseconds(2000) ? (slowSend_ + took) / 2 : microseconds(0);
        } else if (countLostLocked(1 + queue_.clear(), why)) {
            // A transport that did not take one message within its bound will not take the
            // rest of this transfer either: it was dropped at once instead of waiting out each
            // bound. The report goes out before anyone waiting for the queue is woken.
            lock.unlock();
            reportDrop();
            lock.lock();
        }
        inFlight_ = false;
        lock.unlock();
        cv_.notify_all();
        notifyObserver();
        lock.lock();
    }
}

MidiOut::MidiOut(std::unique_ptr<MidiBackend> backend, std::shared_ptr<SenderClock> clock)
    : d_(std::make_unique<Impl>(std::move(backend), std::move(clock))) {}
MidiOut::~MidiOut() = default;
int MidiOut::deviceCount() { return d_->deviceCount(); }
std::string MidiOut::deviceName(int id) { return d_->deviceName(id); }
bool MidiOut::openPort(int id, const std::vector<MidiBytes>& first) { return d_->openPort(id, first); }
void MidiOut::expectOpen() { d_->expectOpen(); }
void MidiOut::closePort() { d_->closePort(); }
bool MidiOut::isOpen() const { return d_->open_.load(); }
MidiError MidiOut::lastOpenError() const { return d_->lastOpenError(); }
void MidiOut::release() {
    closePort();
    d_->configure([](MidiBackend& b) { b.release(); });
}
MidiError MidiOut::serverError() {
    MidiError why;
    d_->configure([&](MidiBackend& b) { why = b.serverError(); });
    return why;
}
void MidiOut::configure(const std::function<void(MidiBackend&)>& f) { d_->configure(f); }
void MidiOut::later(std::function<void()> job) { d_->later(std::move(job)); }
void MidiOut::sendShort(std::uint8_t status, std::uint8_t data1, std::uint8_t data2) {
    d_->sendShort(status, data1, data2);
}
void MidiOut::sendLong(const MidiBytes& message) { d_->sendLong(message); }
void MidiOut::setPacing(const Pacing& pacing) { d_->setPacing(pacing); }
Pacing MidiOut::pacing() const { return d_->pacing(); }
SendProgress MidiOut::progress() const { return d_->progress(); }
void MidiOut::cancel() { d_->cancel(); }
bool MidiOut::flush(std::chrono::milliseconds bound) { return d_->flush(bound); }
void MidiOut::setDropHandler(std::function<void(const std::string&)> handler) { d_->setDropHandler(std::move(handler)); }
void MidiOut::setObserver(std::function<void()> observer) { d_->setObserver(std::move(observer)); }
long MidiOut::droppedCount() const { return d_->dropped_.load(); }
MidiError MidiOut::lastDropError() const {
    std::lock_guard<std::mutex> lock(d_->m_);
    return d_->dropError_;
}
long MidiOut::cancelledCount() const { return d_->cancelled_.load(); }

}  // namespace kf
