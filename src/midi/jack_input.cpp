#include "midi/jack_input.h"

#include <jack/jack.h>
#include <jack/midiport.h>
#include <jack/ringbuffer.h>
#include <semaphore.h>

#include <atomic>
#include <ctime>
#include <mutex>
#include <thread>

namespace kf {

namespace {
constexpr size_t kRingBytes = 1 << 16;
constexpr size_t kHeadBytes = 2;  // each event: 16-bit length, then its bytes
}  // namespace

struct JackInput::Shared : JackSession {
    jack_ringbuffer_t* ring = nullptr;
    std::atomic<unsigned long long> overflow{0};
    sem_t ready;
    // The reader: drains the ring into bytes.
    std::thread reader;
    std::atomic<bool> stop{false};
    Bytes bytes;
    std::mutex failedMutex;  // the server's shutdown thread reads it too
    Failed failed;

    Shared() : ring(jack_ringbuffer_create(kRingBytes)) { sem_init(&ready, 0, 0); }
    ~Shared() override {
        sem_destroy(&ready);
        if (ring) jack_ringbuffer_free(ring);
    }

    void process(std::uint32_t nframes) override {
        jack_port_t* p = port.load();
        if (!p) return;
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
    }

    void shutDown() override { fail({MidiError::ServerGone, "JACK server shut the client down"}); }
    void release() override {
        stopReading();
        std::lock_guard<std::mutex> lock(failedMutex);
        failed = nullptr;
    }

    void fail(const MidiError& why) {
        std::lock_guard<std::mutex> lock(failedMutex);
        if (failed && port.load()) failed(why);
    }

    // Stops the reader; from then on nothing is handed on.
    void stopReading() {
        stop = true;
        sem_post(&ready);
        if (reader.joinable()) reader.join();
        bytes = nullptr;
    }

    void read() {
        std::vector<std::uint8_t> event;
        unsigned long long overflowSeen = overflow.load();
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
            // The process thread may not call out; the reader tells of what it dropped.
            if (overflow.load() != overflowSeen) {
                overflowSeen = overflow.load();
                fail({MidiError::Overrun, "JACK input ring full: events dropped"});
            }
        }
    }
};

JackInput::JackInput(std::string clientName, std::string outputClient)
    : client_(std::move(clientName), MidiDirection::In,
              [](jack_client_t*) { return std::make_unique<Shared>(); }, std::move(outputClient)) {}

JackInput::~JackInput() { close(); }

JackInput::Shared* JackInput::shared() const { return static_cast<Shared*>(client_.session()); }

bool JackInput::available() { return client_.connect(nullptr) != nullptr; }

std::vector<std::string> JackInput::ports() { return client_.ports(); }

bool JackInput::open(int id, const Bytes& bytes, MidiError* error) {
    close();
    std::string source;
    if (!client_.peerFor(id, &source, error)) return false;
    jack_port_t* port = client_.openPort(source, error);
    if (!port) return false;
    Shared& s = *shared();
    jack_ringbuffer_reset(s.ring);
    s.bytes = bytes;
    {
        std::lock_guard<std::mutex> lock(s.failedMutex);
        s.failed = failed_;
    }
    s.stop = false;
    s.reader = std::thread([&s] { s.read(); });
    s.port = port;
    return true;
}

void JackInput::close() {
    Shared* shared = this->shared();
    if (!shared || !shared->port) return;
    Shared& s = *shared;
    jack_port_t* port = s.port.exchange(nullptr);
    s.stopReading();
    client_.closePort(port);
}

unsigned long long JackInput::overflowCount() const { return shared() ? shared()->overflow.load() : 0; }

}  // namespace kf
