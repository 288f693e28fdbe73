#include "midi/midi_out.h"

#include <algorithm>

namespace kf {

using std::chrono::duration_cast;
using std::chrono::microseconds;

int shortMessageLength(std::uint8_t status) {
    if (status < 0xF0) return (status >= 0xC0 && status <= 0xDF) ? 2 : 3;
    switch (status) {
        case 0xF1:
        case 0xF3: return 2;
        case 0xF2: return 3;
        default: return 1;
    }
}

MidiOut::MidiOut(std::unique_ptr<MidiBackend> backend, std::shared_ptr<SenderClock> clock)
    : backend_(std::move(backend)), clock_(std::move(clock)) {
    sender_ = std::thread([this] { run(); });
}

MidiOut::~MidiOut() {
    closePort();
    {
        std::lock_guard<std::mutex> lock(m_);
        stop_ = true;
    }
    cv_.notify_all();
    sender_.join();
}

int MidiOut::deviceCount() { return static_cast<int>(backend_->ports().size()); }

std::string MidiOut::deviceName(int id) {
    if (id == -1) return kVirtualPortName;
    if (id == kBuiltInSynth) return backend_->hasBuiltInSynth() ? kBuiltInSynthName : std::string();
    const auto names = backend_->ports();
    if (id < 0 || id >= static_cast<int>(names.size())) return {};
    return names[static_cast<size_t>(id)];
}

bool MidiOut::openPort(int id) {
    if (id != lastId_) closePort();
    if (open_) return true;
    openError_ = {};
    const std::string name = deviceName(id);
    if (!backend_->open(id, &openError_)) {
        if (openError_.kind == MidiError::None) openError_.kind = MidiError::Other;
        return false;
    }
    open_ = true;
    lastId_ = id;
    std::lock_guard<std::mutex> lock(m_);
    portName_ = name;
    dropReported_ = false;
    nextFree_ = clock_->now();
    return true;
}

void MidiOut::closePort() {
    if (!open_) return;
    open_ = false;
    bool report = false;
    {
        std::unique_lock<std::mutex> lock(m_);
        held_ = false;
        cv_.notify_all();
        const auto deadline = std::chrono::steady_clock::now() + leftLocked() + std::chrono::seconds(1);
        cv_.wait_until(lock, deadline, [this] { return queue_.empty() && !inFlight_; });
        if (!queue_.empty()) report = countLostLocked(queue_.clear());
        // A message in the transport's hands ends within the transport's own bound.
        cv_.wait(lock, [this] { return !inFlight_; });
    }
    const std::size_t lost = backend_->close();
    if (lost > 0) {
        std::lock_guard<std::mutex> lock(m_);
        report = countLostLocked(lost) || report;
    }
    if (report) reportDrop();
    notifyObserver();
}

void MidiOut::sendShort(std::uint8_t status, std::uint8_t data1, std::uint8_t data2) {
    const std::uint8_t msg[3] = {status, data1, data2};
    enqueue(MidiBytes(msg, msg + shortMessageLength(status)));
}

void MidiOut::sendLong(const MidiBytes& message) { enqueue(message); }

void MidiOut::enqueue(MidiBytes message) {
    if (!open_ || message.empty()) return;
    {
        std::lock_guard<std::mutex> lock(m_);
        if (queue_.empty() && !inFlight_) transferSent_ = 0;
        queue_.push(std::move(message));
    }
    cv_.notify_all();
    notifyObserver();
}

void MidiOut::setHeld(bool held) {
    {
        std::lock_guard<std::mutex> lock(m_);
        held_ = held;
    }
    cv_.notify_all();
}

void MidiOut::setPacing(const Pacing& pacing) {
    {
        std::lock_guard<std::mutex> lock(m_);
        pacing_ = pacing;
        pacing_.sysexPause = std::clamp(pacing.sysexPause, std::chrono::milliseconds(0),
                                        std::chrono::milliseconds(kMaxSysexPauseMs));
    }
    cv_.notify_all();
}

Pacing MidiOut::pacing() const {
    std::lock_guard<std::mutex> lock(m_);
    return pacing_;
}

microseconds MidiOut::leftLocked() const {
    microseconds wire(0);
    if (!pacing_.unlimited) {
        wire = kWireTimePerByte * static_cast<long>(queue_.bytes()) +
               duration_cast<microseconds>(pacing_.sysexPause) * static_cast<long>(queue_.sysexCount());
        const auto busyFor = duration_cast<microseconds>(nextFree_ - clock_->now());
        if (busyFor.count() > 0) wire += busyFor;
    }
    // A transport slower than the cable sets the pace itself.
    const microseconds measured = slowSend_ * static_cast<long>(queue_.size() + (inFlight_ ? 1 : 0));
    return std::max(wire, measured);
}

SendProgress MidiOut::progress() const {
    observerArmed_ = true;
    std::lock_guard<std::mutex> lock(m_);
    SendProgress p;
    p.sent = transferSent_;
    p.queued = queue_.size() + (inFlight_ ? 1 : 0);
    p.left = p.queued > 0 ? leftLocked() : microseconds(0);
    return p;
}

void MidiOut::cancel() {
    {
        std::lock_guard<std::mutex> lock(m_);
        cancelled_ += static_cast<long>(queue_.clear());
    }
    sendShort(0xB9, 0x78, 0x00);
}

bool MidiOut::flush(std::chrono::milliseconds bound) {
    std::unique_lock<std::mutex> lock(m_);
    return cv_.wait_for(lock, bound, [this] { return queue_.empty() && !inFlight_; });
}

void MidiOut::setDropHandler(std::function<void(const std::string&)> handler) {
    std::lock_guard<std::mutex> lock(m_);
    onDrop_ = std::move(handler);
}

void MidiOut::setObserver(std::function<void()> observer) {
    std::lock_guard<std::mutex> lock(m_);
    observer_ = std::move(observer);
}

bool MidiOut::countLostLocked(std::size_t n) {
    dropped_ += static_cast<long>(n);
    if (dropReported_) return false;
    dropReported_ = true;
    return true;
}

void MidiOut::reportDrop() {
    std::function<void(const std::string&)> handler;
    std::string name;
    {
        std::lock_guard<std::mutex> lock(m_);
        handler = onDrop_;
        name = portName_;
    }
    if (handler) handler(name);
}

void MidiOut::notifyObserver() {
    if (!observerArmed_.exchange(false)) return;
    std::function<void()> observer;
    {
        std::lock_guard<std::mutex> lock(m_);
        observer = observer_;
    }
    if (observer) observer();
    else observerArmed_ = true;
}

void MidiOut::run() {
    std::unique_lock<std::mutex> lock(m_);
    for (;;) {
        if (stop_) return;
        if (queue_.empty() || held_) {
            cv_.wait(lock);
            continue;
        }
        const auto now = clock_->now();
        const bool unlimited = pacing_.unlimited || !backend_->wantsPacing();
        const auto due = unlimited ? now : std::max(now, nextFree_);
        const microseconds lead = backend_->lead();
        if (!unlimited && due - lead > now) {
            // Woken early by a new message, a replacement or a cancel: look again.
            clock_->waitUntil(cv_, lock, due - lead);
            continue;
        }
        const MidiBytes message = queue_.pop();
        const microseconds wire = unlimited ? microseconds(0) : wireTime(message, pacing_);
        const bool timed = lead.count() > 0 && !unlimited;
        inFlight_ = true;
        lock.unlock();
        const auto started = std::chrono::steady_clock::now();
        const bool ok = timed ? backend_->sendAt(message.data(), message.size(), duration_cast<microseconds>(due - now))
                            : backend_->send(message.data(), message.size());
        const auto took = duration_cast<microseconds>(std::chrono::steady_clock::now() - started);
        lock.lock();
        if (ok) {
            ++transferSent_;
            nextFree_ = due + wire;
            slowSend_ = took > wire * 2 && took > microseconds(2000) ? (slowSend_ + took) / 2 : microseconds(0);
        } else if (countLostLocked(1 + queue_.clear())) {
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

}  // namespace kf
