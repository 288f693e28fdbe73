#include "midi/midi_in.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "midi/midi_bytes.h"
#include "midi/midi_out.h"
#include "midi/owner_thread.h"

namespace kf {

void MessageAssembler::feed(const std::uint8_t* data, std::size_t size,
                            const std::function<void(const MidiBytes&)>& message) {
    for (std::size_t i = 0; i < size; ++i) {
        const std::uint8_t b = data[i];
        if (midi::isRealtime(b)) continue;
        if (b == midi::kSysEx) {
            current_.assign(1, b);
            inSysEx_ = true;
            oversized_ = false;
            running_ = 0;
            need_ = 0;
            continue;
        }
        if (inSysEx_) {
            if (b == midi::kEndOfSysEx) {
                current_.push_back(b);
                if (!oversized_) message(current_);
                current_.clear();
                inSysEx_ = false;
                continue;
            }
            if (!midi::isStatus(b)) {
                if (current_.size() < kMaxSysEx) current_.push_back(b);
                else oversized_ = true;
                continue;
            }
            // Any other status ends an unfinished SysEx, which is given up.
            current_.clear();
            inSysEx_ = false;
        }
        if (midi::isStatus(b)) {
            if (b == midi::kEndOfSysEx) continue;
            if (midi::isChannelStatus(b)) running_ = b;
            else running_ = 0;  // system common messages cancel running status
            current_.assign(1, b);
            need_ = static_cast<std::size_t>(shortMessageLength(b));
        } else {
            if (current_.empty()) {
                if (!running_) continue;  // a data byte with no status before it
                current_.assign(1, running_);
                need_ = static_cast<std::size_t>(shortMessageLength(running_));
            }
            current_.push_back(b);
        }
        if (current_.size() == need_) {
            message(current_);
            current_.clear();
        }
    }
}

bool LoopbackInput::open(int, const Bytes& bytes, MidiError*) {
    std::lock_guard<std::mutex> lock(m_);
    bytes_ = bytes;
    return true;
}

void LoopbackInput::close() {
    std::lock_guard<std::mutex> lock(m_);
    bytes_ = nullptr;
}

void LoopbackInput::deliver(const std::uint8_t* data, std::size_t size) {
    std::lock_guard<std::mutex> lock(m_);
    if (bytes_) bytes_(data, size);
}

class MidiIn::Impl {
public:
    Impl(std::unique_ptr<MidiInBackend> backend, std::size_t limit) : backend_(std::move(backend)), limit_(limit) {
        backend_->onFailure([this](const MidiError& why) { failed(why); });
        deliverer_ = std::thread([this] { deliver(); });
        owner_ = std::thread([this] { own(); });
    }
    ~Impl() {
        {
            // Whatever was handed over and has not started is not wanted any more.
            std::lock_guard<std::mutex> lock(jobsMutex_);
            jobs_.clear();
            ownerStop_ = true;
        }
        jobsCv_.notify_all();
        owner_.join();
        closeHere();  // the owner thread is gone: this one is the only one left
        {
            std::lock_guard<std::mutex> lock(m_);
            stop_ = true;
        }
        cv_.notify_all();
        deliverer_.join();
    }

    void later(std::function<void()> job) {
        {
            std::lock_guard<std::mutex> lock(jobsMutex_);
            jobs_.push_back(std::move(job));
        }
        jobsCv_.notify_all();
    }

    void call(const std::function<void()>& job) {
        runOn(owner_.get_id(), [this](std::function<void()> handed) { later(std::move(handed)); }, job);
    }

    std::vector<std::string> ports() {
        std::vector<std::string> names;
        call([&] { names = backend_->ports(); });
        return names;
    }
    bool hasBuiltInSynth() const { return backend_->hasBuiltInSynth(); }
    MidiError serverError() {
        MidiError why;
        call([&] { why = backend_->serverError(); });
        return why;
    }
    void release() {
        call([&] {
            closeHere();
            backend_->release();
        });
    }
    std::string ownPortName() {
        std::string name;
        call([&] { name = backend_->ownPortName(); });
        return name;
    }

    bool openPort(int id) {
        bool ok = false;
        call([&] { ok = openHere(id); });
        return ok;
    }

    void closePort() {
        call([&] { closeHere(); });
    }

    void setHandler(std::function<void(const MidiBytes&)> handler) {
        // Not while the old one runs: whatever it refers to may go once this returns.
        std::lock_guard<std::mutex> running(handlerRuns_);
        std::lock_guard<std::mutex> lock(m_);
        handler_ = std::move(handler);
    }

    bool isOpen() const { return open_ && !lost_; }

    std::atomic<bool> open_{false};  // the transport's port is open
    std::atomic<bool> lost_{false};  // and has lost its connection
    std::atomic<int> port_{-1};
    std::atomic<long> overflow_{0};
    mutable std::mutex m_;
    MidiError error_;
    MidiError failure_;

private:
    // On the owner thread.
    bool openHere(int id) {
        closeHere();
        assembler_ = MessageAssembler();
        MidiError error;
        const bool ok = backend_->open(
            id, [this](const std::uint8_t* data, std::size_t size) { take(data, size); }, &error);
        {
            std::lock_guard<std::mutex> state(m_);
            error_ = ok ? MidiError{} : error;
            failure_ = {};
        }
        if (ok) port_ = id;
        lost_ = false;
        open_ = ok;
        return ok;
    }

    // On the transport's thread.
    void failed(const MidiError& why) {
        std::lock_guard<std::mutex> lock(m_);
        failure_ = why;
        if (why.lost()) lost_ = true;
    }

    void closeHere() {
        if (!open_) return;
        backend_->close();
        open_ = false;
    }

    void own() {
        std::unique_lock<std::mutex> lock(jobsMutex_);
        for (;;) {
            jobsCv_.wait(lock, [this] { return ownerStop_ || !jobs_.empty(); });
            if (jobs_.empty()) return;
            auto job = std::move(jobs_.front());
            jobs_.pop_front();
            lock.unlock();
            job();
            lock.lock();
        }
    }

    // On the transport's thread.
    void take(const std::uint8_t* data, std::size_t size) {
        assembler_.feed(data, size, [this](const MidiBytes& message) {
            {
                std::lock_guard<std::mutex> lock(m_);
                if (queue_.size() >= limit_) {
                    ++overflow_;
                    return;
                }
                queue_.push_back(message);
            }
            cv_.notify_one();
        });
    }

    void deliver() {
        std::unique_lock<std::mutex> lock(m_);
        for (;;) {
            cv_.wait(lock, [this] { return stop_ || !queue_.empty(); });
            if (stop_) return;
            MidiBytes message = std::move(queue_.front());
            queue_.pop_front();
            lock.unlock();
            {
                std::lock_guard<std::mutex> running(handlerRuns_);
                std::function<void(const MidiBytes&)> handler;
                {
                    std::lock_guard<std::mutex> again(m_);
                    handler = handler_;
                }
                if (handler) handler(message);
            }
            lock.lock();
        }
    }

    std::unique_ptr<MidiInBackend> backend_;  // the owner thread's alone
    std::size_t limit_;
    std::mutex handlerRuns_;  // held while the handler runs
    std::condition_variable cv_;
    std::deque<MidiBytes> queue_;
    std::function<void(const MidiBytes&)> handler_;
    MessageAssembler assembler_;
    bool stop_ = false;
    std::thread deliverer_;

    std::mutex jobsMutex_;
    std::condition_variable jobsCv_;
    std::deque<std::function<void()>> jobs_;
    bool ownerStop_ = false;
    std::thread owner_;
};

MidiIn::MidiIn(std::unique_ptr<MidiInBackend> backend, std::size_t queueLimit)
    : d_(std::make_unique<Impl>(std::move(backend), queueLimit)) {}
MidiIn::~MidiIn() = default;

int MidiIn::deviceCount() { return static_cast<int>(d_->ports().size()); }

std::string MidiIn::deviceName(int id) {
    if (id == -1) return d_->ownPortName();
    if (id == kBuiltInSynth) return d_->hasBuiltInSynth() ? MidiOut::kBuiltInSynthName : std::string();
    const auto ports = d_->ports();
    return id >= 0 && id < static_cast<int>(ports.size()) ? ports[static_cast<std::size_t>(id)] : std::string();
}

bool MidiIn::openPort(int id) { return d_->openPort(id); }
void MidiIn::closePort() { d_->closePort(); }
bool MidiIn::isOpen() const { return d_->isOpen(); }
int MidiIn::port() const { return d_->port_; }

MidiError MidiIn::lastOpenError() const {
    std::lock_guard<std::mutex> lock(d_->m_);
    return d_->error_;
}

MidiError MidiIn::lastError() const {
    std::lock_guard<std::mutex> lock(d_->m_);
    return d_->failure_;
}

void MidiIn::release() { d_->release(); }

MidiError MidiIn::serverError() {
    return d_->serverError();
}

void MidiIn::later(std::function<void()> job) { d_->later(std::move(job)); }
void MidiIn::run(const std::function<void()>& job) { d_->call(job); }

void MidiIn::setHandler(std::function<void(const MidiBytes&)> handler) { d_->setHandler(std::move(handler)); }
long MidiIn::overflowCount() const { return d_->overflow_; }

}  // namespace kf
