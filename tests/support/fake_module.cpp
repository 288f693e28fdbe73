#include "fake_module.h"

#include "gs/dt1.h"
#include "gs/sysex.h"
#include "midi/send_queue.h"
#include "model/parameters.h"

namespace kf::test {

namespace {
MidiBytes dt1(std::uint8_t deviceId, std::uint8_t a2, std::uint8_t a3, const std::uint8_t* data, std::size_t n) {
    MidiBytes m{0xF0, 0x41, deviceId, 0x42, 0x12, 0x21, a2, a3};
    for (std::size_t i = 0; i < n; ++i) m.push_back(data[i]);
    m.push_back(rolandChecksum(m.data() + 5, m.data() + m.size()));
    m.push_back(0xF7);
    return m;
}
}  // namespace

FakeModule::FakeModule(const Kit& kit) {
    for (int set = 1; set <= kSetCount; ++set) {
        const MidiBytes name = buildNameMessage(kit, set);
        std::copy(name.begin() + 8, name.begin() + 20, names_[set - 1]);
        for (int note = 0; note < kNoteCount; ++note)
            for (int p = 1; p <= kDeviceParameterCount; ++p)
                memory_[set - 1][note][p] = static_cast<std::uint8_t>(parameterValue(kit, set, note, p));
    }
}

std::string FakeModule::heldName(int set) const {
    return std::string(reinterpret_cast<const char*>(names_[set - 1]), 12);
}

void FakeModule::holdName(int set, const std::string& name) {
    for (std::size_t i = 0; i < 12; ++i) names_[set - 1][i] = static_cast<std::uint8_t>(i < name.size() ? name[i] : ' ');
}

void FakeModule::take(const MidiBytes& m, std::chrono::microseconds at) {
    // Still busy with the last one: this one is lost.
    if (busyAfterDt1.count() > 0 && lastEnd_ && at - *lastEnd_ < busyAfterDt1) {
        ++dt1Lost_;
        return;
    }
    const Dt1Status status = forEachDt1Byte(m.data(), m.size(), [this](unsigned address, std::uint8_t value) {
        const auto where = userDrumAt(address);
        if (!where) return;
        if (where->parameter == 0) names_[where->set - 1][where->index] = value;
        else memory_[where->set - 1][where->index][where->parameter] = value;
    });
    if (status != Dt1Status::Taken) return;
    ++dt1Taken_;
    lastEnd_ = at + kWireTimePerByte * static_cast<long>(m.size());
}

std::optional<MidiBytes> FakeModule::answer(const MidiBytes& m, std::chrono::microseconds at,
                                            std::chrono::microseconds* queued) {
    if (queued) *queued = {};
    if (takesDataSets && m.size() > 5 && m[0] == 0xF0 && m[1] == 0x41 && m[2] == deviceId && m[3] == 0x42 && m[4] == 0x12) {
        take(m, at);
        return std::nullopt;
    }
    // F0 41 dev 42 11 a1 a2 a3 s1 s2 s3 sum F7
    if (m.size() != 13 || m[0] != 0xF0 || m[1] != 0x41 || m[2] != deviceId || m[3] != 0x42 || m[4] != 0x11 ||
        m[12] != 0xF7 || rolandChecksum(m.data() + 5, m.data() + 11) != m[11])
        return std::nullopt;
    ++requests_;
    if (inputBytes > 0) {
        const std::chrono::microseconds in = at + kWireTimePerByte * static_cast<long>(m.size());
        while (!buffer_.empty() && buffer_.front().done <= in) buffer_.pop_front();
        std::size_t held = 0;
        for (const Buffered& b : buffer_) held += b.bytes;
        if (held + m.size() > inputBytes) {
            ++overflowed_;
            ++lost_;
            return std::nullopt;
        }
        const std::chrono::microseconds start = buffer_.empty() ? in : std::max(in, buffer_.back().done);
        buffer_.push_back({start + workPerRequest, m.size()});
        if (queued) *queued = buffer_.back().done - at;
    }
    if (silent || (silentAfter >= 0 && requests_ > silentAfter)) return std::nullopt;
    const auto d = dropped_.find(m);
    if (d != dropped_.end() ? d->second < dropTimes : dropEvery > 0 && requests_ % dropEvery == 0) {
        ++dropped_[m];
        ++lost_;
        return std::nullopt;
    }
    if (loseOneIn > 0 && requests_ % loseOneIn == 0) {
        ++lost_;
        return std::nullopt;
    }
    const int a1 = m[5], a2 = m[6], a3 = m[7];
    const long size = (m[8] << 14) | (m[9] << 7) | m[10];
    if (a1 != 0x21 || (a2 & 0x60) != 0) return std::nullopt;
    const int set = (a2 >> 4) + 1, p = a2 & 0x0F;
    if (p != 0 && p == neverParameter) return std::nullopt;
    MidiBytes reply;
    if (p == 0 && a3 == 0 && size == 12) reply = dt1(deviceId, static_cast<std::uint8_t>(a2), 0, names_[set - 1], 12);
    else if (p >= 1 && p <= 12 && size == 1) reply = dt1(deviceId, static_cast<std::uint8_t>(a2), static_cast<std::uint8_t>(a3), &memory_[set - 1][a3][p], 1);
    else return std::nullopt;
    if (badChecksum) reply[reply.size() - 2] ^= 0x01;
    return reply;
}

std::vector<FakeModule::Reply> FakeModule::replies(const MidiBytes& request, std::chrono::microseconds at) {
    std::vector<Reply> out;
    std::chrono::microseconds queued{};
    const std::optional<MidiBytes> a = answer(request, at, &queued);
    // Spread over the range by a fixed stride: the same run every time.
    const long span = (lateMax - lateMin).count() + 1;
    const std::chrono::milliseconds late = lateMin + std::chrono::milliseconds((requests_ * 37) % span) +
                                           std::chrono::ceil<std::chrono::milliseconds>(queued);
    if (noise) {
        const unsigned turn = noiseTurn_++;
        out.push_back({late / 2, {0xFE}});
        if (a && turn % 2 == 0) {
            MidiBytes other = *a;  // the same data from another device on the same cable
            other[2] = static_cast<std::uint8_t>(deviceId ^ 0x01);
            other[other.size() - 3] = static_cast<std::uint8_t>((other[other.size() - 3] + 1) & 0x7F);
            other[other.size() - 2] = rolandChecksum(other.data() + 5, other.data() + other.size() - 2);
            out.push_back({late / 2, other});
            MidiBytes broken = *a;  // a wrong value that a bad sum gives away
            broken[broken.size() - 3] = static_cast<std::uint8_t>((broken[broken.size() - 3] + 3) & 0x7F);
            out.push_back({late, broken});
        }
        if (turn % 3 == 0) {
            // The reverb macro of the system area: nothing of the user drum sets.
            MidiBytes elsewhere{0xF0, 0x41, deviceId, 0x42, 0x12, 0x40, 0x01, 0x30, 0x04, 0x00, 0xF7};
            elsewhere[9] = rolandChecksum(elsewhere.data() + 5, elsewhere.data() + 9);
            out.push_back({late, elsewhere});
        }
    }
    if (a) out.push_back({late, *a});
    if (noise) out.push_back({late + std::chrono::milliseconds(1), {0xFE}});
    return out;
}

LateLine::LateLine(std::function<void(const MidiBytes&)> deliver) : deliver_(std::move(deliver)) {
    thread_ = std::thread([this] {
        std::unique_lock<std::mutex> lock(m_);
        while (!stop_) {
            if (due_.empty()) {
                cv_.wait(lock);
                continue;
            }
            const auto first = due_.begin();
            if (first->first > Clock::now()) {
                cv_.wait_until(lock, first->first);
                continue;
            }
            const MidiBytes bytes = std::move(first->second);
            due_.erase(first);
            lock.unlock();
            deliver_(bytes);
            lock.lock();
        }
    });
}

LateLine::~LateLine() {
    {
        std::lock_guard<std::mutex> lock(m_);
        stop_ = true;
    }
    cv_.notify_one();
    thread_.join();
}

void LateLine::post(const std::vector<FakeModule::Reply>& replies) {
    const auto now = Clock::now();
    {
        std::lock_guard<std::mutex> lock(m_);
        for (const auto& r : replies) due_.emplace(now + r.after, r.bytes);
    }
    cv_.notify_one();
}

}  // namespace kf::test
