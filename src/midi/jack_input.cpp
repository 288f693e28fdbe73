#include "midi/jack_input.h"

#include <jack/jack.h>
#include <jack/midiport.h>
#include <jack/ringbuffer.h>
#include <semaphore.h>

#include "midi/jack_client.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <thread>

namespace kf {

namespace {
constexpr size_t kRingBytes = 1 << 16;
constexpr size_t kHeadBytes = 2;  // each event: 16-bit length, then its bytes
const char* kOwnPort = "Kitforge";
}  // namespace

struct JackInput::Shared {
    jack_client_t* client = nullptr;
    jack_ringbuffer_t* ring = nullptr;
    std::atomic<jack_port_t*> port{nullptr};
    std::atomic<bool> serverGone{false};
    std::atomic<unsigned long long> overflow{0};
    sem_t ready;
    // The reader: drains the ring into bytes.
    std::thread reader;
    std::atomic<bool> stop{false};
    Bytes bytes;

    Shared() { sem_init(&ready, 0, 0); }
    ~Shared() {
        sem_destroy(&ready);
        if (ring) jack_ringbuffer_free(ring);
    }

    static int process(jack_nframes_t nframes, void* self) { return static_cast<Shared*>(self)->process(nframes); }
    static void shutdown(void* self) { static_cast<Shared*>(self)->serverGone = true; }

    int process(jack_nframes_t nframes) {
        jack_port_t* p = port.load();
        if (!p) return 0;
        void* buffer = jack_port_get_buffer(p, nframes);
        const jack_nframes_t count = jack_midi_get_event_count(buffer);
        bool any = false;
        for (jack_nframes_t i = 0; i < count; ++i) {
            jack_midi_event_t event;
            if (jack_midi_event_get(&event, buffer, i) != 0 || event.size == 0 || event.size > 0xFFFF) continue;
            if (jack_ringbuffer_write_space(ring) < kHeadBytes + event.size) {
                overflow.fetch_add(1);
                continue;
            }
            const std::uint8_t head[kHeadBytes] = {static_cast<std::uint8_t>(event.size & 0xFF),
                                                   static_cast<std::uint8_t>(event.size >> 8)};
            jack_ringbuffer_write(ring, reinterpret_cast<const char*>(head), kHeadBytes);
            jack_ringbuffer_write(ring, reinterpret_cast<const char*>(event.buffer), event.size);
            any = true;
        }
        if (any) sem_post(&ready);  // safe from the process thread
        return 0;
    }

    void read() {
        std::vector<std::uint8_t> event;
        while (!stop) {
            timespec until{};
            clock_gettime(CLOCK_REALTIME, &until);
            until.tv_nsec += 50'000'000;
            if (until.tv_nsec >= 1'000'000'000) {
                until.tv_nsec -= 1'000'000'000;
                ++until.tv_sec;
            }
            sem_timedwait(&ready, &until);
            std::uint8_t head[kHeadBytes];
            while (jack_ringbuffer_read_space(ring) >= kHeadBytes) {
                jack_ringbuffer_peek(ring, reinterpret_cast<char*>(head), kHeadBytes);
                const size_t size = head[0] | (static_cast<size_t>(head[1]) << 8);
                if (jack_ringbuffer_read_space(ring) < kHeadBytes + size) break;
                jack_ringbuffer_read_advance(ring, kHeadBytes);
                event.resize(size);
                jack_ringbuffer_read(ring, reinterpret_cast<char*>(event.data()), size);
                if (bytes) bytes(event.data(), event.size());
            }
        }
    }
};

JackInput::JackInput(std::string clientName, std::string outputClient)
    : clientName_(std::move(clientName)), outputClient_(std::move(outputClient) + ":") {
    jack_set_error_function([](const char*) {});
    jack_set_info_function([](const char*) {});
}

JackInput::~JackInput() {
    close();
    dropClient();
}

bool JackInput::connectClient(MidiError* error) {
    if (shared_ && shared_->serverGone) dropClient();
    if (shared_) return true;
    if (std::chrono::steady_clock::now() < silentUntil_) {
        if (error) *error = {MidiError::ServerGone, "JACK server does not answer"};
        return false;
    }
    MidiError why;
    jack_client_t* client = openJackClient(clientName_, std::chrono::milliseconds(1000), &why);
    if (!client) {
        if (why.kind == MidiError::ServerGone) silentUntil_ = std::chrono::steady_clock::now() + std::chrono::seconds(3);
        if (error) *error = why;
        return false;
    }
    shared_ = new Shared;
    shared_->client = client;
    shared_->ring = jack_ringbuffer_create(kRingBytes);
    jack_set_process_callback(client, &Shared::process, shared_);
    jack_on_shutdown(client, &Shared::shutdown, shared_);
    if (!activateJackClient(client, std::chrono::milliseconds(1000))) {
        if (error) *error = {MidiError::ServerGone, "JACK server does not answer"};
        shared_ = nullptr;  // left to a server that may still call it back
        return false;
    }
    return true;
}

void JackInput::dropClient() {
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
        std::chrono::milliseconds(500));
    // A server that does not answer may still call us back one day: leave it what it uses.
    if (closed) delete s;
}

std::vector<std::string> JackInput::ports() {
    std::vector<std::string> names;
    if (!connectClient(nullptr)) return names;
    jack_client_t* client = shared_->client;
    const char** found = jack_get_ports(client, nullptr, JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput);
    if (!found) return names;
    const std::string own = std::string(jack_get_client_name(client)) + ":";
    for (const char** p = found; *p; ++p)
        if (std::strncmp(*p, own.c_str(), own.size()) != 0 &&
            std::strncmp(*p, outputClient_.c_str(), outputClient_.size()) != 0)
            names.emplace_back(*p);
    jack_free(found);
    std::sort(names.begin(), names.end());
    return names;
}

bool JackInput::open(int id, const Bytes& bytes, MidiError* error) {
    close();
    std::string source;
    if (id != -1) {
        const auto names = ports();
        if (id < 0 || id >= static_cast<int>(names.size())) {
            if (error) *error = {shared_ ? MidiError::NoSuchPort : MidiError::NoMidiSystem, "no such JACK port"};
            return false;
        }
        source = names[static_cast<size_t>(id)];
    }
    if (!connectClient(error)) return false;
    Shared& s = *shared_;
    jack_port_t* port = jack_port_register(s.client, kOwnPort, JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
    if (!port) {
        if (error) *error = {MidiError::PortBusy, "JACK port could not be registered"};
        return false;
    }
    if (!source.empty() && jack_connect(s.client, source.c_str(), jack_port_name(port)) != 0) {
        if (error) *error = {MidiError::NoSuchPort, "cannot connect from " + source};
        jack_port_unregister(s.client, port);
        return false;
    }
    jack_ringbuffer_reset(s.ring);
    s.bytes = bytes;
    s.stop = false;
    s.reader = std::thread([&s] { s.read(); });
    s.port = port;
    return true;
}

void JackInput::close() {
    if (!shared_ || !shared_->port) return;
    Shared& s = *shared_;
    jack_port_t* port = s.port.exchange(nullptr);
    s.stop = true;
    sem_post(&s.ready);
    if (s.reader.joinable()) s.reader.join();
    s.bytes = nullptr;
    jack_client_t* client = s.client;
    if (!s.serverGone) runBounded([client, port] { jack_port_unregister(client, port); }, std::chrono::milliseconds(500));
}

unsigned long long JackInput::overflowCount() const { return shared_ ? shared_->overflow.load() : 0; }

}  // namespace kf
