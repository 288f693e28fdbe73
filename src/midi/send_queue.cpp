#include "midi/send_queue.h"

#include "midi/midi_bytes.h"

namespace kf {

namespace {
bool isSysex(const MidiBytes& m) { return !m.empty() && m.front() == midi::kSysEx; }
std::chrono::microseconds settlingWireOf(const MidiBytes& m) {
    return settleTime(m).count() > 0 ? kWireTimePerByte * static_cast<long>(m.size()) : std::chrono::microseconds(0);
}
}  // namespace

std::chrono::microseconds wireTime(const MidiBytes& message, const Pacing& pacing) {
    if (pacing.unlimited) return std::chrono::microseconds(0);
    std::chrono::microseconds t = kWireTimePerByte * static_cast<long>(message.size());
    if (isSysex(message)) t += pacing.sysexPause;
    return t;
}

std::chrono::microseconds settleTime(const MidiBytes& m) { return settleTime(m.data(), m.size()); }

std::chrono::microseconds settleTime(const std::uint8_t* m, std::size_t size) {
    // F0 41 dd 42 12 a1 a2 a3 data sum F7, any device ID
    if (size != 11 || m[0] != midi::kSysEx || m[1] != midi::kRolandId || m[3] != midi::kGsModelId ||
        m[4] != midi::kDataSet1 || m[10] != midi::kEndOfSysEx)
        return std::chrono::microseconds(0);
    const int a1 = m[5], a2 = m[6], a3 = m[7];
    if (a1 == 0x40 && a2 == 0x00 && a3 == 0x7F) return std::chrono::milliseconds(50);   // GS reset
    if (a1 == 0x00 && a2 == 0x00 && a3 == 0x7F) return std::chrono::milliseconds(200);  // system mode
    if (a1 == 0x00 && a2 == 0x00 && a3 == 0x03) return std::chrono::milliseconds(200);  // map of all parts
    return std::chrono::microseconds(0);
}

long userDrumAddress(const MidiBytes& m) {
    // F0 41 dd 42 12 21 a2 a3 ... sum F7
    if (m.size() < 11 || m[0] != midi::kSysEx || m[1] != midi::kRolandId || m[3] != midi::kGsModelId ||
        m[4] != midi::kDataSet1 || m[5] != midi::kUserDrumArea || m.back() != midi::kEndOfSysEx || m[2] > 0x7F)
        return -1;
    const int a2 = m[6], a3 = m[7];
    const bool parameter = m.size() == 11 && (a2 & 0xE0) == 0 && (a2 & 0x0F) >= 1 && (a2 & 0x0F) <= 12 && a3 < 0x80;
    const bool name = m.size() == 22 && (a2 == 0x00 || a2 == 0x10) && a3 == 0x00;
    if (!parameter && !name) return -1;
    return (static_cast<long>(m[2]) << 16) | (a2 << 8) | a3;
}

bool SendQueue::push(MidiBytes message) {
    const long address = userDrumAddress(message);
    if (address >= 0) {
        const auto it = latest_.find(address);
        if (it != latest_.end()) {
            MidiBytes& queued = items_[static_cast<std::size_t>(it->second - frontSeq_)];
            bytes_ = bytes_ - queued.size() + message.size();
            queued = std::move(message);
            return true;
        }
        latest_[address] = frontSeq_ + items_.size();
    } else if (isSysex(message)) {
        latest_.clear();
    }
    bytes_ += message.size();
    if (isSysex(message)) ++sysex_;
    settle_ += settleTime(message);
    settlingWire_ += settlingWireOf(message);
    items_.push_back(std::move(message));
    return false;
}

MidiBytes SendQueue::pop() {
    MidiBytes m = std::move(items_.front());
    items_.pop_front();
    const long address = userDrumAddress(m);
    if (address >= 0) {
        const auto it = latest_.find(address);
        if (it != latest_.end() && it->second == frontSeq_) latest_.erase(it);
    }
    ++frontSeq_;
    bytes_ -= m.size();
    if (isSysex(m)) --sysex_;
    settle_ -= settleTime(m);
    settlingWire_ -= settlingWireOf(m);
    return m;
}

std::size_t SendQueue::clear() {
    const std::size_t n = items_.size();
    frontSeq_ += n;
    items_.clear();
    latest_.clear();
    bytes_ = 0;
    sysex_ = 0;
    settle_ = std::chrono::microseconds(0);
    settlingWire_ = std::chrono::microseconds(0);
    return n;
}

}  // namespace kf
