#include "midi/jack_backend.h"

#include <jack/jack.h>
#include <jack/midiport.h>
#include <jack/ringbuffer.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <thread>

#include "midi/cycle_placer.h"
#include "midi/send_queue.h"

namespace kf {

namespace {
constexpr size_t kRingBytes = 1 << 15;
// Each queued message: 16-bit length, a paced flag, the 32-bit due frame, then its bytes.
constexpr size_t kHeadBytes = 7;

long long steadyNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}
}  // namespace

struct JackBackend::Shared : JackSession {
    jack_ringbuffer_t* ring = nullptr;
    std::atomic<unsigned long long> cycles{0};
    std::atomic<long long> lastCycleNs{0};
    std::atomic<unsigned long long> written{0}, delivered{0};
    double framesPerUs = 0.048;
    CyclePlacer placer{framesPerUs};  // process thread only

    explicit Shared(jack_client_t* client)
        : ring(jack_ringbuffer_create(kRingBytes)), framesPerUs(jack_get_sample_rate(client) / 1e6),
          placer(framesPerUs) {
        lastCycleNs = steadyNs();
    }
    ~Shared() override {
        if (ring) jack_ringbuffer_free(ring);
    }

    bool stalled(std::chrono::milliseconds bound) const {
        return steadyNs() - lastCycleNs.load() > std::chrono::duration_cast<std::chrono::nanoseconds>(bound).count();
    }
    unsigned long long pending() const { return written.load() - delivered.load(); }

    void process(std::uint32_t nframes) override;
};

void JackBackend::Shared::process(std::uint32_t nframes) {
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
            placer.placed(offset, size, paced, settleTime(slot, size));
            delivered.fetch_add(1);
        }
        placer.endCycle();
    }
    cycles.fetch_add(1);
    lastCycleNs = steadyNs();
}

JackBackend::JackBackend(std::string clientName, std::chrono::milliseconds sendTimeout)
    : sendTimeout_(sendTimeout),
      client_(std::move(clientName), MidiDirection::Out,
              [](jack_client_t* client) { return std::make_unique<Shared>(client); }) {}

JackBackend::~JackBackend() { close(); }

JackBackend::Shared* JackBackend::shared() const { return static_cast<Shared*>(client_.session()); }

bool JackBackend::available() { return client_.connect(nullptr) != nullptr; }

std::vector<std::string> JackBackend::ports() { return client_.ports(); }

bool JackBackend::open(int id, MidiError* error) {
    std::string target;
    if (!client_.peerFor(id, &target, error)) return false;
    close();
    jack_port_t* port = client_.openPort(target, error);
    if (!port) return false;
    Shared& s = *shared();
    jack_ringbuffer_reset(s.ring);
    s.written = 0;
    s.delivered = 0;
    s.port = port;
    return true;
}

std::size_t JackBackend::close() {
    if (!shared()) return 0;
    Shared& s = *shared();
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
    if (answering && client_.closePort(port)) return lost;
    // The server is gone or stuck: give up this client rather than wait for it.
    if (s.serverGone) client_.drop();
    else client_.abandon();  // the server may still call it back
    return lost;
}

void JackBackend::release() {
    close();
    client_.drop();
}

std::chrono::microseconds JackBackend::lead() const {
    const Shared* s = shared();
    if (!s) return std::chrono::microseconds(0);
    const jack_nframes_t period = jack_get_buffer_size(s->client);
    // Two periods ahead, so the event is in the ring before the cycle that plays it.
    return std::chrono::microseconds(static_cast<long>(2.0 * period / s->framesPerUs) + 5000);
}

bool JackBackend::send(const std::uint8_t* data, std::size_t size) {
    return put(data, size, false, std::chrono::microseconds(0));
}

bool JackBackend::sendAt(const std::uint8_t* data, std::size_t size, std::chrono::microseconds fromNow) {
    return put(data, size, true, fromNow);
}

bool JackBackend::fail(MidiError::Kind kind, const char* text) {
    sendError_ = {kind, text};
    return false;
}

bool JackBackend::put(const std::uint8_t* data, std::size_t size, bool paced, std::chrono::microseconds fromNow) {
    Shared* shared = this->shared();
    if (!shared && client_.serverError().kind != MidiError::None) {
        // The port went with a client given up to a server that stopped answering.
        sendError_ = client_.serverError();
        return false;
    }
    if (!shared || !shared->port) return fail(MidiError::Other, "JACK port not open");
    Shared& s = *shared;
    if (s.serverGone) return fail(MidiError::ServerGone, "JACK server shut the client down");
    const size_t need = kHeadBytes + size;
    if (size == 0 || size > 0xFFFF || need > kRingBytes - 1) return fail(MidiError::Other, "message too long for JACK");
    // A server that has not run a cycle for the whole bound while messages wait is stuck.
    if (s.pending() > 0 && s.stalled(sendTimeout_)) return fail(MidiError::ServerGone, "JACK server runs no cycles");
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
        if (s.serverGone) return fail(MidiError::ServerGone, "JACK server shut the client down");
        if (std::chrono::steady_clock::now() >= deadline) return fail(MidiError::Stalled, "JACK took nothing in time");
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    // One write, so the process callback never sees a head without its bytes.
    jack_ringbuffer_write(s.ring, reinterpret_cast<const char*>(frame_.data()), need);
    s.written.fetch_add(1);
    return true;
}

}  // namespace kf
