#include "jack_receiver.h"

#include <jack/jack.h>
#include <jack/midiport.h>

#include <chrono>
#include <cstring>

#include "wait.h"

namespace kf::test {

JackReceiver::JackReceiver(const std::string& clientName, size_t maxEvents, size_t maxBytes,
                           const std::string& serverName)
    : bytes_(maxBytes), index_(maxEvents), offsets_(maxEvents), cycleOf_(maxEvents),
      cycleStart_(maxEvents + 100000), cycleFrames_(cycleStart_.size()), arrivals_(maxEvents) {
    if (serverName.empty()) client_ = jack_client_open(clientName.c_str(), JackNoStartServer, nullptr);
    else
        client_ = jack_client_open(clientName.c_str(), static_cast<jack_options_t>(JackNoStartServer | JackServerName),
                                   nullptr, serverName.c_str());
    if (!client_) return;
    jack_set_process_callback(client_, &JackReceiver::process, this);
    jack_set_xrun_callback(client_, &JackReceiver::xrun, this);
    port_ = jack_port_register(client_, "in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
    if (port_ && jack_activate(client_) != 0) port_ = nullptr;
}

JackReceiver::~JackReceiver() {
    if (client_) {
        jack_deactivate(client_);
        jack_client_close(client_);
    }
}

std::string JackReceiver::portName() const { return port_ ? jack_port_name(port_) : ""; }

bool JackReceiver::connectFrom(const std::string& source) {
    return jack_connect(client_, source.c_str(), jack_port_name(port_)) == 0;
}

int JackReceiver::process(unsigned nframes, void* self) {
    auto* me = static_cast<JackReceiver*>(self);
    void* buffer = jack_port_get_buffer(me->port_, nframes);
    const jack_nframes_t cycleStart = jack_last_frame_time(me->client_);
    const long long now =
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch()).count();
    const uint32_t n = jack_midi_get_event_count(buffer);
    size_t count = me->count_.load(std::memory_order_relaxed);
    const size_t cycle = me->cycles_.load(std::memory_order_relaxed);
    if (cycle >= me->cycleStart_.size()) {
        me->overflow_ = true;
        return 0;
    }
    me->cycleStart_[cycle] = cycleStart;
    me->cycleFrames_[cycle] = nframes;
    for (uint32_t i = 0; i < n; ++i) {
        jack_midi_event_t ev;
        if (jack_midi_event_get(&ev, buffer, i) != 0) continue;
        if (count >= me->index_.size() || me->used_ + ev.size > me->bytes_.size()) {
            me->overflow_ = true;
            continue;
        }
        std::memcpy(me->bytes_.data() + me->used_, ev.buffer, ev.size);
        me->index_[count] = {me->used_, ev.size};
        me->offsets_[count] = ev.time;
        me->cycleOf_[count] = static_cast<std::uint32_t>(cycle);
        me->arrivals_[count] = now;
        me->used_ += ev.size;
        ++count;
    }
    me->count_.store(count, std::memory_order_release);
    me->cycles_.store(cycle + 1, std::memory_order_release);
    return 0;
}

int JackReceiver::xrun(void* self) {
    ++static_cast<JackReceiver*>(self)->xruns_;
    return 0;
}

void JackReceiver::waitQuiet(int quietMs, int totalMs) const {
    test::waitQuiet([this] { return count_.load(); }, std::chrono::milliseconds(quietMs),
                    std::chrono::milliseconds(totalMs));
}

std::vector<std::vector<std::uint8_t>> JackReceiver::events() const {
    const size_t n = count_.load(std::memory_order_acquire);
    std::vector<std::vector<std::uint8_t>> out;
    out.reserve(n);
    for (size_t i = 0; i < n; ++i) {
        const auto [off, len] = index_[i];
        out.emplace_back(bytes_.begin() + static_cast<long>(off), bytes_.begin() + static_cast<long>(off + len));
    }
    return out;
}

std::vector<std::uint32_t> JackReceiver::frames() const {
    const size_t n = count_.load(std::memory_order_acquire);
    const size_t cycles = cycles_.load(std::memory_order_acquire);
    std::vector<std::uint32_t> start(cycleStart_.begin(), cycleStart_.begin() + static_cast<long>(cycles));
    for (size_t k = cycles; k-- > 1;) {
        const std::uint32_t bound = start[k] - cycleFrames_[k - 1];
        if (static_cast<std::int32_t>(bound - start[k - 1]) < 0) start[k - 1] = bound;
    }
    std::vector<std::uint32_t> frames(n);
    for (size_t i = 0; i < n; ++i) frames[i] = start[cycleOf_[i]] + offsets_[i];
    return frames;
}

int JackReceiver::irregularCycles() const {
    const size_t cycles = cycles_.load(std::memory_order_acquire);
    int irregular = 0;
    for (size_t k = 1; k < cycles; ++k)
        if (cycleStart_[k] - cycleStart_[k - 1] != cycleFrames_[k - 1]) ++irregular;
    return irregular;
}

std::vector<long long> JackReceiver::arrivals() const {
    const size_t n = count_.load(std::memory_order_acquire);
    return std::vector<long long>(arrivals_.begin(), arrivals_.begin() + static_cast<long>(n));
}

unsigned JackReceiver::sampleRate() const { return client_ ? jack_get_sample_rate(client_) : 0; }

}  // namespace kf::test
