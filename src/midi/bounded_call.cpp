#include "midi/bounded_call.h"

#include <future>
#include <memory>
#include <thread>

namespace kf {

bool runBounded(std::function<void()> f, std::chrono::milliseconds bound) {
    auto done = std::make_shared<std::promise<void>>();
    auto finished = done->get_future();
    std::thread([f = std::move(f), done] {
        f();
        done->set_value();
    }).detach();
    return finished.wait_for(bound) == std::future_status::ready;
}

}  // namespace kf
