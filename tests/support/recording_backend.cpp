#include "recording_backend.h"

#include <thread>

namespace kf {

bool RecordingBackend::open(int id, MidiError* error) {
    noteCaller();
    if (openDelay.count() > 0) std::this_thread::sleep_for(openDelay);
    if (failOpen || id < (builtInSynth ? -2 : -1) || id >= static_cast<int>(portNames.size())) {
        if (error) *error = {failOpen ? failKind : MidiError::NoSuchPort, "no such port"};
        return false;
    }
    opened.push_back(id);
    return true;
}

void RecordingBackend::holdAt(std::size_t index) {
    std::lock_guard<std::mutex> lock(m_);
    holdAt_ = index;
}

bool RecordingBackend::waitHeld(std::chrono::milliseconds bound) {
    std::unique_lock<std::mutex> lock(m_);
    return cv_.wait_for(lock, bound, [this] { return held_; });
}

void RecordingBackend::releaseHeld() {
    std::lock_guard<std::mutex> lock(m_);
    holdAt_ = static_cast<std::size_t>(-1);
    cv_.notify_all();
}

bool RecordingBackend::send(const std::uint8_t* data, std::size_t size) {
    {
        std::unique_lock<std::mutex> lock(m_);
        callers_.push_back(std::this_thread::get_id());
        if (beforeSend) {
            const std::size_t index = calls_;
            lock.unlock();
            beforeSend(index);
            lock.lock();
        }
        if (calls_++ == holdAt_) {
            held_ = true;
            cv_.notify_all();
            cv_.wait(lock, [this] { return holdAt_ == static_cast<std::size_t>(-1); });
            held_ = false;
        }
    }
    if (delay.count() > 0) std::this_thread::sleep_for(delay);
    if (refuseSends) return false;
    sent.emplace_back(data, data + size);
    if (clock) sentAt.push_back(clock->now());
    if (afterSend) afterSend(sent.back());
    return true;
}

bool RecordingBackend::sendAt(const std::uint8_t* data, std::size_t size, std::chrono::microseconds fromNow) {
    sentFromNow.push_back(fromNow);
    return send(data, size);
}

}  // namespace kf
