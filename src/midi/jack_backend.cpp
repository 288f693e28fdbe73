#include "midi/jack_backend.h"

#include <jack/jack.h>
#include <jack/midiport.h>
#include <jack/ringbuffer.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <functional>
#include <future>
#include <thread>

#include "midi/cycle_placer.h"
#include "midi/jack_client.h"
#include "midi/send_queue.h"

namespace kf {

namespace {
constexpr size_t kRingBytes = 1 << 15;
// Each queued message: 16-bit length, a paced flag, the 32-bit due frame, then its bytes.
constexpr size_t kHeadBytes = 7;
const char* kOwnPort = "Kitforge";
// How long the blocking calls on the server (unregister, deactivate, close) may take.
constexpr auto kServerCallBound = std::chrono::milliseconds(500);
// How long connecting may wait for a server: one that does not answer by then counts as absent.
constexpr auto kConnectBound = std::chrono::milliseconds(1000);

long long steadyNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}
}  // namespace

struct JackBackend::Shared {
    jack_client_t* client = nullptr;
    jack_ringbuffer_t* ring = nullptr;
    std::atomic<jack_port_t*> port{nullptr};
    std::atomic<bool> serverGone{false};
    std::atomic<unsigned long long> cycles{0};
    std::atomic<long long> lastCycleNs{0};
    std::atomic<unsigned long long> written{0}, delivered{0};
    double framesPerUs = 0.048;
    CyclePlacer placer{framesPerUs};  // process thread only

    ~Shared() {
        if (ring) jack_ringbuffer_free(ring);
    }

    bool stalled(std::chrono::milliseconds bound) const {
        return steadyNs() - lastCycleNs.load() > std::chrono::duration_cast<std::chrono::nanoseconds>(bound).count();
    }
    unsigned long long pending() const { return written.load() - delivered.load(); }

    static int process(jack_nframes_t nframes, void* self) { return static_cast<Shared*>(self)->process(nframes); }
    static void shutdown(void* self) { static_cast<Shared*>(self)->serverGone = true; }
    int process(jack_nframes_t nframes);
};

int JackBackend::Shared::process(jack_nframes_t nframes) {
    jack_port_t* p = port.load();
    if (p) {
        void* buffer = jack_port_get_buffer(p, nframes);
        jack_midi_clear_buffer(buffer);
        placer.beginCycle(jack_last_frame_time(client), nframes);
        std::uint8_t head[kHeadBytes];
        while (jack_ringbuffer_read_space(ring) >= kHeadBytes) {
            jack_ringbuffer_peek(ring, reinterpret_cast<char*>(head), kHeadBytes);
            const size_t size = head[0] | (static_cast<size_t>(head[1]) << 8);
            const bool paced = head[2] != 0;
            jack_nframes_t due = 0;
            std::memcpy(&due, head + 3, sizeof due);
            const long offset = placer.offsetFor(size, paced, due);
            if (offset < 0) break;  // a later cycle's
            // Whatever does not fit into this cycle's buffer waits for the next one.
            if (jack_midi_max_event_size(buffer) < size) break;
            jack_midi_data_t* slot = jack_midi_event_reserve(buffer, static_cast<jack_nframes_t>(offset), size);
            if (!slot) break;
            jack_ringbuffer_read_advance(ring, kHeadBytes);
            jack_ringbuffer_read(ring, reinterpret_cast<char*>(slot), size);
            placer.placed(offset, size, paced);
            delivered.fetch_add(1);
        }
        placer.endCycle();
    }
    cycles.fetch_add(1);
    lastCycleNs = steadyNs();
    return 0;
}

JackBackend::JackBackend(std::string clientName, std::chrono::milliseconds sendTimeout)
    : clientName_(std::move(clientName)), sendTimeout_(sendTimeout) {
    // libjack reports a missing server on stderr; a missing server only means no JACK ports.
    jack_set_error_function([](const char*) {});
    jack_set_info_function([](const char*) {});
}

JackBackend::~JackBackend() {
    close();
    dropClient();
}

bool JackBackend::connectClient(MidiError* error) {
    if (shared_ && shared_->serverGone) dropClient();
    if (shared_) return true;
    // A server that just did not answer is not asked again at once: each try holds the caller.
    if (std::chrono::steady_clock::now() < silentUntil_) {
        if (error) *error = {MidiError::ServerGone, "JACK server does not answer"};
        return false;
    }
    MidiError why;
    jack_client_t* client = openJackClient(clientName_, kConnectBound, &why);
    if (!client) {
        if (why.kind == MidiError::ServerGone) silentUntil_ = std::chrono::steady_clock::now() + std::chrono::seconds(3);
        if (error) *error = why;
        return false;
    }
    shared_ = new Shared;
    shared_->client = client;
    shared_->ring = jack_ringbuffer_create(kRingBytes);
    shared_->framesPerUs = jack_get_sample_rate(client) / 1e6;
    shared_->placer = CyclePlacer(shared_->framesPerUs);
    shared_->lastCycleNs = steadyNs();
    jack_set_process_callback(client, &Shared::process, shared_);
    jack_on_shutdown(client, &Shared::shutdown, shared_);
    if (!activateJackClient(client, kConnectBound)) {
        if (error) *error = {MidiError::ServerGone, "JACK server does not answer"};
        // A server that answers nothing may still call the client back one day: leave it.
        shared_ = nullptr;
        return false;
    }
    return true;
}

void JackBackend::dropClient() {
    if (!shared_) return;
    Shared* s = shared_;
    shared_ = nullptr;
    s->port = nullptr;
    jack_client_t* client = s->client;
    const bool gone = s->serverGone;
    const bool closed = runBounded(
        [client, gone] {
            if (!gone) jack_deactivate(client);
            jack_client_close(client);
        },
        kServerCallBound);
    // A server that does not answer may still call us back one day: leave it what it uses.
    if (closed) delete s;
}

bool JackBackend::available() { return connectClient(nullptr); }

std::vector<std::string> JackBackend::ports() {
    std::vector<std::string> names;
    if (!connectClient(nullptr)) return names;
    jack_client_t* client = shared_->client;
    const char** found = jack_get_ports(client, nullptr, JACK_DEFAULT_MIDI_TYPE, JackPortIsInput);
    if (!found) return names;
    const std::string own = std::string(jack_get_client_name(client)) + ":";
    for (const char** p = found; *p; ++p)
        if (std::strncmp(*p, own.c_str(), own.size()) != 0) names.emplace_back(*p);
    jack_free(found);
    std::sort(names.begin(), names.end());
    return names;
}

bool JackBackend::open(int id, MidiError* error) {
    if (id == -1) return openTarget({}, error);
    const auto names = ports();
    if (id < 0 || id >= static_cast<int>(names.size())) {
        if (error) *error = {shared_ ? MidiError::NoSuchPort : MidiError::NoMidiSystem, "no such JACK port"};
        return false;
    }
    return openTarget(names[static_cast<size_t>(id)], error);
}

bool JackBackend::openTarget(const std::string& target, MidiError* error) {
    close();
    if (!connectClient(error)) return false;
    jack_client_t* client = shared_->client;
    jack_port_t* port = jack_port_register(client, kOwnPort, JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    if (!port) {
        if (error) *error = {MidiError::PortBusy, "JACK port could not be registered"};
        return false;
    }
    if (!target.empty() && jack_connect(client, jack_port_name(port), target.c_str()) != 0) {
        if (error) *error = {MidiError::NoSuchPort, "cannot connect to " + target};
        jack_port_unregister(client, port);
        return false;
    }
    jack_ringbuffer_reset(shared_->ring);
    shared_->written = 0;
    shared_->delivered = 0;
    shared_->port = port;
    return true;
}

std::size_t JackBackend::close() {
    if (!shared_) return 0;
    Shared& s = *shared_;
    jack_port_t* port = s.port;
    if (!port) return 0;
    const auto stallBound = std::min(sendTimeout_, std::chrono::milliseconds(500));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    auto alive = [&] {
        return !s.serverGone && !s.stalled(stallBound) && std::chrono::steady_clock::now() < deadline;
    };
    // Let the ring drain, then wait two more cycles so the last buffer reaches the peer.
    while (s.pending() > 0 && alive()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    unsigned long long target = s.cycles.load() + 2;
    while (s.cycles.load() < target && alive()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    s.port = nullptr;
    // A cycle that picked up the port before it was cleared may still be writing to it.
    target = s.cycles.load() + 2;
    while (s.cycles.load() < target && alive()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    const std::size_t lost = static_cast<std::size_t>(s.pending());
    s.written = 0;
    s.delivered = 0;
    const bool answering = !s.serverGone && !s.stalled(stallBound);
    jack_client_t* client = s.client;
    if (answering && runBounded([client, port] { jack_port_unregister(client, port); }, kServerCallBound)) return lost;
    // The server is gone or stuck: give up this client rather than wait for it.
    if (!s.serverGone) {
        Shared* abandoned = shared_;
        shared_ = nullptr;
        (void)abandoned;  // the server may still call it back
    } else {
        dropClient();
    }
    return lost;
}

std::chrono::microseconds JackBackend::lead() const {
    if (!shared_) return std::chrono::microseconds(0);
    const jack_nframes_t period = jack_get_buffer_size(shared_->client);
    // Two periods ahead, so the event is in the ring before the cycle that plays it.
    return std::chrono::microseconds(static_cast<long>(2.0 * period / shared_->framesPerUs) + 5000);
}

bool JackBackend::send(const std::uint8_t* data, std::size_t size) {
    return put(data, size, false, std::chrono::microseconds(0));
}

bool JackBackend::sendAt(const std::uint8_t* data, std::size_t size, std::chrono::microseconds fromNow) {
    return put(data, size, true, fromNow);
}

bool JackBackend::put(const std::uint8_t* data, std::size_t size, bool paced, std::chrono::microseconds fromNow) {
    if (!shared_) return false;
    Shared& s = *shared_;
    if (!s.port || s.serverGone || size == 0 || size > 0xFFFF) return false;
    const size_t need = kHeadBytes + size;
    if (need > kRingBytes - 1) return false;
    // A server that has not run a cycle for the whole bound while messages wait is stuck.
    if (s.pending() > 0 && s.stalled(sendTimeout_)) return false;
    const jack_nframes_t due =
        jack_frame_time(s.client) + static_cast<jack_nframes_t>(std::max<long>(0, fromNow.count()) * s.framesPerUs);
    frame_.resize(need);
    frame_[0] = static_cast<std::uint8_t>(size & 0xFF);
    frame_[1] = static_cast<std::uint8_t>(size >> 8);
    frame_[2] = paced ? 1 : 0;
    std::memcpy(frame_.data() + 3, &due, sizeof due);
    std::memcpy(frame_.data() + kHeadBytes, data, size);
    const auto deadline = std::chrono::steady_clock::now() + sendTimeout_;
    while (jack_ringbuffer_write_space(s.ring) < need) {
        if (s.serverGone || std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    // One write, so the process callback never sees a head without its bytes.
    jack_ringbuffer_write(s.ring, reinterpret_cast<const char*>(frame_.data()), need);
    s.written.fetch_add(1);
    return true;
}

}  // namespace kf
