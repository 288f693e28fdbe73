// The raw side of the VM's virtual MIDI ports, for tests run inside it (run_vm.sh): a reader
// that keeps every byte with the time it came, a module that answers requests from there, and
// the byte stream parsed back into messages.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "fake_module.h"
#include "midi/midi_bytes.h"
#include "midi/midi_in.h"
#include "midi/midi_out.h"
#include "model/kit.h"
#include "wait.h"

namespace kf::test {

// A raw MIDI byte stream back into messages; running status is a legal way to send them.
inline std::vector<MidiBytes> parseStream(const std::vector<std::uint8_t>& bytes) {
    std::vector<MidiBytes> out;
    MidiBytes current;
    std::uint8_t running = 0;
    size_t need = 0;
    for (const std::uint8_t b : bytes) {
        if (!current.empty() && current[0] == 0xF0) {
            current.push_back(b);
            if (b == 0xF7) out.push_back(std::move(current)), current.clear();
            continue;
        }
        if (b >= 0x80) {
            current = {b};
            if (b == 0xF0) continue;
            running = b < 0xF0 ? b : 0;
            need = static_cast<size_t>(shortMessageLength(b));
        } else {
            if (current.empty() && running) current = {running};
            current.push_back(b);
        }
        if (!current.empty() && current.size() == need) out.push_back(std::move(current)), current.clear();
    }
    return out;
}

// Reads a raw MIDI device in a thread, with the time of every read.
class RawReader {
    using Clock = std::chrono::steady_clock;

public:
    explicit RawReader(const char* device) {
        fd_ = ::open(device, O_RDONLY | O_NONBLOCK);
        if (fd_ >= 0) thread_ = std::thread([this] { run(); });
    }
    ~RawReader() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        if (fd_ >= 0) ::close(fd_);
    }
    bool ok() const { return fd_ >= 0; }
    void waitQuiet(std::chrono::milliseconds quiet, std::chrono::seconds total) {
        test::waitQuiet([this] { return size(); }, quiet, total);
    }
    size_t size() {
        std::lock_guard<std::mutex> lock(m_);
        return bytes_.size();
    }
    std::vector<std::uint8_t> bytes() {
        std::lock_guard<std::mutex> lock(m_);
        return bytes_;
    }
    // (seconds since the first read, bytes read by then) for every read.
    std::vector<std::pair<double, size_t>> reads() {
        std::lock_guard<std::mutex> lock(m_);
        return reads_;
    }

private:
    void run() {
        pollfd p{fd_, POLLIN, 0};
        Clock::time_point first{};
        while (!stop_) {
            if (::poll(&p, 1, 20) <= 0) continue;
            std::uint8_t buf[4096];
            const ssize_t n = ::read(fd_, buf, sizeof buf);
            if (n <= 0) continue;
            const auto now = Clock::now();
            std::lock_guard<std::mutex> lock(m_);
            if (bytes_.empty()) first = now;
            bytes_.insert(bytes_.end(), buf, buf + n);
            reads_.emplace_back(std::chrono::duration<double>(now - first).count(), bytes_.size());
        }
    }

    int fd_ = -1;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::mutex m_;
    std::vector<std::uint8_t> bytes_;
    std::vector<std::pair<double, size_t>> reads_;
};

// A module on the raw side of a virtual MIDI port: it reads the requests our output sends to
// the port and writes its answers back into it, where they come out as the port's events.
class RawModule {
    using Clock = std::chrono::steady_clock;

public:
    RawModule(const char* device, Kit kit) : RawModule(device, std::move(kit), {}) {}
    // The module as setUp leaves it before the first request. Told to answer late or with
    // noise around its answers, it writes them at their time from a line of their own.
    RawModule(const char* device, Kit kit, const std::function<void(FakeModule&)>& setUp) : module_(std::move(kit)) {
        if (setUp) setUp(module_);
        if (module_.lateMax.count() > 0 || module_.noise)
            line_ = std::make_unique<LateLine>([this](const MidiBytes& m) { put(m); });
        fd_ = ::open(device, O_RDWR | O_NONBLOCK);
        if (fd_ >= 0) thread_ = std::thread([this] { run(); });
    }
    ~RawModule() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        line_.reset();
        if (fd_ >= 0) ::close(fd_);
    }
    bool ok() const { return fd_ >= 0; }
    long requests() const { return requests_; }
    // The module as it stands, taken under its lock.
    FakeModule snapshot() {
        std::lock_guard<std::mutex> lock(m_);
        return module_;
    }

private:
    void run() {
        MessageAssembler assembler;
        pollfd p{fd_, POLLIN, 0};
        while (!stop_) {
            if (::poll(&p, 1, 20) <= 0) continue;
            std::uint8_t buf[512];
            const ssize_t n = ::read(fd_, buf, sizeof buf);
            if (n <= 0) continue;
            // What came in one read came at once, as far as the module can tell.
            const auto at = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now().time_since_epoch());
            assembler.feed(buf, static_cast<size_t>(n), [this, at](const MidiBytes& m) {
                std::lock_guard<std::mutex> lock(m_);
                if (line_) line_->post(module_.replies(m));
                else if (const auto answer = module_.answer(m, at)) put(*answer);
                requests_ = module_.requests();
            });
        }
    }
    void put(const MidiBytes& m) {
        // Written in two pieces, as a slow interface hands them over.
        const size_t first = std::min<size_t>(m.size(), 4);
        (void)!::write(fd_, m.data(), first);
        if (m.size() > first) (void)!::write(fd_, m.data() + first, m.size() - first);
    }

    std::mutex m_;  // the module, shared with snapshot()
    FakeModule module_;
    std::unique_ptr<LateLine> line_;
    int fd_ = -1;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<long> requests_{0};
};

}  // namespace kf::test
