// The one thread that owns a transport (MidiOut's sender, MidiIn's owner): calls from any
// other thread are handed over to it and, where the caller needs the answer, waited for.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace kf {

// Runs job on owner through handOver (which queues it there) and returns once it has run;
// runs it at once when called on owner itself, which cannot wait for itself.
inline void runOn(std::thread::id owner, const std::function<void(std::function<void()>)>& handOver,
                  const std::function<void()>& job) {
    if (std::this_thread::get_id() == owner) {
        job();
        return;
    }
    std::mutex doneMutex;
    std::condition_variable doneCv;
    bool done = false;
    handOver([&] {
        job();
        std::lock_guard<std::mutex> lock(doneMutex);
        done = true;
        doneCv.notify_all();
    });
    std::unique_lock<std::mutex> lock(doneMutex);
    doneCv.wait(lock, [&] { return done; });
}

}  // namespace kf
