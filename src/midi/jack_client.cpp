#include "midi/jack_client.h"

#include <jack/jack.h>

#include <future>
#include <memory>
#include <mutex>
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

jack_client_t* openJackClient(const std::string& name, std::chrono::milliseconds bound, MidiError* error) {
    struct Opening {
        std::mutex m;
        bool abandoned = false;
        jack_client_t* client = nullptr;
    };
    auto opening = std::make_shared<Opening>();
    const bool finished = runBounded(
        [opening, name] {
            jack_status_t status{};
            jack_client_t* client = jack_client_open(name.c_str(), JackNoStartServer, &status);
            std::lock_guard<std::mutex> lock(opening->m);
            if (!opening->abandoned) opening->client = client;
            else if (client) jack_client_close(client);  // too late: nobody wants it now
        },
        bound);
    std::lock_guard<std::mutex> lock(opening->m);
    opening->abandoned = true;
    if (!opening->client && error)
        *error = finished ? MidiError{MidiError::NoMidiSystem, "JACK server is not running"}
                          : MidiError{MidiError::ServerGone, "JACK server does not answer"};
    return opening->client;
}

bool activateJackClient(jack_client_t* client, std::chrono::milliseconds bound) {
    auto result = std::make_shared<int>(-1);
    return runBounded([client, result] { *result = jack_activate(client); }, bound) && *result == 0;
}

}  // namespace kf
