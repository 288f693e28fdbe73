#include "jack_module.h"

#include <jack/jack.h>
#include <jack/midiport.h>

#include <algorithm>

namespace kf::test {

JackModule::JackModule(const std::string& clientName, Kit kit, std::chrono::microseconds latency)
    : module_(std::move(kit)), latency_(latency) {
    jack_status_t status{};
    client_ = jack_client_open(clientName.c_str(), JackNoStartServer, &status);
    if (!client_) return;
    in_ = jack_port_register(client_, "in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
    out_ = jack_port_register(client_, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    jack_set_process_callback(client_, &JackModule::process, this);
    if (jack_activate(client_) != 0) in_ = out_ = nullptr;
}

JackModule::~JackModule() {
    if (!client_) return;
    jack_deactivate(client_);
    jack_client_close(client_);
}

std::string JackModule::inputName() const { return in_ ? jack_port_name(in_) : std::string(); }
std::string JackModule::outputName() const { return out_ ? jack_port_name(out_) : std::string(); }

long JackModule::requests() {
    std::lock_guard<std::mutex> lock(m_);
    return module_.requests();
}

FakeModule JackModule::snapshot() {
    std::lock_guard<std::mutex> lock(m_);
    return module_;
}

int JackModule::process(unsigned nframes, void* self) { return static_cast<JackModule*>(self)->process(nframes); }

int JackModule::process(unsigned nframes) {
    // A test's client: it may lock and allocate in its callback.
    std::lock_guard<std::mutex> lock(m_);
    const unsigned long long start = jack_last_frame_time(client_);
    const double framesPerUs = jack_get_sample_rate(client_) / 1e6;
    void* inBuffer = jack_port_get_buffer(in_, nframes);
    const jack_nframes_t count = jack_midi_get_event_count(inBuffer);
    for (jack_nframes_t i = 0; i < count; ++i) {
        jack_midi_event_t e;
        if (jack_midi_event_get(&e, inBuffer, i) != 0) continue;
        const auto at = std::chrono::microseconds(static_cast<long long>((start + e.time) / framesPerUs));
        const MidiBytes request(e.buffer, e.buffer + e.size);
        const auto post = [&](std::chrono::microseconds after, MidiBytes bytes) {
            const unsigned long long due = start + e.time + static_cast<unsigned long long>(after.count() * framesPerUs);
            const auto later = std::upper_bound(pending_.begin(), pending_.end(), due,
                                                [](unsigned long long d, const Pending& p) { return d < p.due; });
            pending_.insert(later, {due, std::move(bytes)});
        };
        // Told to answer late or with noise around, the module says when each reply leaves.
        if (module_.lateMax.count() > 0 || module_.noise) {
            for (FakeModule::Reply& r : module_.replies(request, at)) post(r.after, std::move(r.bytes));
        } else {
            std::chrono::microseconds queued{};
            if (auto reply = module_.answer(request, at, &queued)) post(latency_ + queued, std::move(*reply));
        }
    }
    void* outBuffer = jack_port_get_buffer(out_, nframes);
    jack_midi_clear_buffer(outBuffer);
    jack_nframes_t last = 0;
    while (!pending_.empty() && pending_.front().due < start + nframes) {
        const Pending& p = pending_.front();
        const jack_nframes_t at = std::max<jack_nframes_t>(last, p.due > start ? static_cast<jack_nframes_t>(p.due - start) : 0);
        if (jack_midi_event_write(outBuffer, at, p.bytes.data(), p.bytes.size()) != 0) break;
        last = at;
        pending_.pop_front();
    }
    return 0;
}

}  // namespace kf::test
