#include "midi/jack_backend.h"

#include <jack/jack.h>
#include <jack/midiport.h>
#include <jack/ringbuffer.h>

#include <algorithm>
#include <cstring>
#include <thread>

namespace kf {

namespace {
constexpr size_t kRingBytes = 1 << 15;
constexpr size_t kLengthBytes = 2;  // each queued message: 16-bit length, then its bytes
const char* kOwnPort = "Kitforge";
}  // namespace

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

bool JackBackend::connectClient(std::string* error) {
    if (client_ && serverGone_) dropClient();
    if (client_) return true;
    jack_status_t status{};
    client_ = jack_client_open(clientName_.c_str(), JackNoStartServer, &status);
    if (!client_) {
        if (error) *error = "JACK server is not running";
        return false;
    }
    serverGone_ = false;
    ring_ = jack_ringbuffer_create(kRingBytes);
    jack_set_process_callback(client_, &JackBackend::process, this);
    jack_on_shutdown(client_, &JackBackend::shutdown, this);
    if (jack_activate(client_) != 0) {
        if (error) *error = "JACK client could not be activated";
        dropClient();
        return false;
    }
    return true;
}

void JackBackend::dropClient() {
    if (client_) {
        if (!serverGone_) jack_deactivate(client_);
        jack_client_close(client_);
        client_ = nullptr;
    }
    port_ = nullptr;
    if (ring_) {
        jack_ringbuffer_free(ring_);
        ring_ = nullptr;
    }
}

bool JackBackend::available() { return connectClient(nullptr); }

std::vector<std::string> JackBackend::ports() {
    std::vector<std::string> names;
    if (!connectClient(nullptr)) return names;
    const char** found = jack_get_ports(client_, nullptr, JACK_DEFAULT_MIDI_TYPE, JackPortIsInput);
    if (!found) return names;
    const std::string own = std::string(jack_get_client_name(client_)) + ":";
    for (const char** p = found; *p; ++p)
        if (std::strncmp(*p, own.c_str(), own.size()) != 0) names.emplace_back(*p);
    jack_free(found);
    std::sort(names.begin(), names.end());
    return names;
}

bool JackBackend::open(int id, std::string* error) {
    if (id == -1) return openTarget({}, error);
    const auto names = ports();
    if (id < 0 || id >= static_cast<int>(names.size())) {
        if (error) *error = "no such JACK port";
        return false;
    }
    return openTarget(names[static_cast<size_t>(id)], error);
}

bool JackBackend::openTarget(const std::string& target, std::string* error) {
    close();
    if (!connectClient(error)) return false;
    jack_port_t* port = jack_port_register(client_, kOwnPort, JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    if (!port) {
        if (error) *error = "JACK port could not be registered";
        return false;
    }
    if (!target.empty() && jack_connect(client_, jack_port_name(port), target.c_str()) != 0) {
        if (error) *error = "cannot connect to " + target;
        jack_port_unregister(client_, port);
        return false;
    }
    jack_ringbuffer_reset(ring_);
    port_ = port;
    return true;
}

void JackBackend::close() {
    jack_port_t* port = port_;
    if (!port) return;
    // Let the queue drain, then wait two more cycles so the last buffer reaches the peer.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!serverGone_ && jack_ringbuffer_read_space(ring_) > 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    const auto target = cycles_.load() + 2;
    while (!serverGone_ && cycles_.load() < target && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    port_ = nullptr;
    // A cycle that picked up the port before it was cleared may still be writing to it.
    const auto settled = cycles_.load() + 1;
    while (!serverGone_ && cycles_.load() <= settled && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (!serverGone_) jack_port_unregister(client_, port);
}

bool JackBackend::send(const std::uint8_t* data, std::size_t size) {
    if (!port_ || serverGone_ || size == 0 || size > 0xFFFF) return false;
    const size_t need = kLengthBytes + size;
    if (need > kRingBytes - 1) return false;
    frame_.resize(need);
    frame_[0] = static_cast<std::uint8_t>(size & 0xFF);
    frame_[1] = static_cast<std::uint8_t>(size >> 8);
    std::memcpy(frame_.data() + kLengthBytes, data, size);
    const auto deadline = std::chrono::steady_clock::now() + sendTimeout_;
    while (jack_ringbuffer_write_space(ring_) < need) {
        if (serverGone_ || std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    // One write, so the process callback never sees a length without its bytes.
    jack_ringbuffer_write(ring_, reinterpret_cast<const char*>(frame_.data()), need);
    return true;
}

int JackBackend::process(unsigned nframes, void* self) { return static_cast<JackBackend*>(self)->process(nframes); }

void JackBackend::shutdown(void* self) { static_cast<JackBackend*>(self)->serverGone_ = true; }

int JackBackend::process(unsigned nframes) {
    jack_port_t* port = port_;
    if (port) {
        void* buffer = jack_port_get_buffer(port, nframes);
        jack_midi_clear_buffer(buffer);
        jack_nframes_t time = 0;
        std::uint8_t head[kLengthBytes];
        while (jack_ringbuffer_read_space(ring_) >= kLengthBytes) {
            jack_ringbuffer_peek(ring_, reinterpret_cast<char*>(head), kLengthBytes);
            const size_t size = head[0] | (static_cast<size_t>(head[1]) << 8);
            // Whatever does not fit into this cycle's buffer waits for the next one.
            if (jack_midi_max_event_size(buffer) < size) break;
            jack_midi_data_t* slot = jack_midi_event_reserve(buffer, time, size);
            if (!slot) break;
            jack_ringbuffer_read_advance(ring_, kLengthBytes);
            jack_ringbuffer_read(ring_, reinterpret_cast<char*>(slot), size);
            if (time + 1 < nframes) ++time;
        }
    }
    cycles_.fetch_add(1);
    return 0;
}

}  // namespace kf
