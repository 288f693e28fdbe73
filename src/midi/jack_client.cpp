#include "midi/jack_client.h"

#include <jack/jack.h>

#include <algorithm>
#include <cstring>
#include <future>
#include <mutex>
#include <thread>

namespace kf {

namespace {

const char* kOwnPort = "Kitforge";

const MidiError kNotAnswering{MidiError::ServerGone, "JACK server does not answer"};

// Opens a client that never starts a server; null, with *error saying why, when no server
// runs or the one that does does not answer within the bound.
jack_client_t* openClient(const std::string& name, MidiError* error) {
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
        JackClient::kConnectBound);
    std::lock_guard<std::mutex> lock(opening->m);
    opening->abandoned = true;
    if (!opening->client && error)
        *error = finished ? MidiError{MidiError::NoMidiSystem, "JACK server is not running"} : kNotAnswering;
    return opening->client;
}

int process(jack_nframes_t nframes, void* session) {
    static_cast<JackSession*>(session)->process(nframes);
    return 0;
}

void shutDown(void* session) {
    auto* s = static_cast<JackSession*>(session);
    s->serverGone = true;
    s->shutDown();
}

}  // namespace

bool runBounded(std::function<void()> f, std::chrono::milliseconds bound) {
    auto done = std::make_shared<std::promise<void>>();
    auto finished = done->get_future();
    std::thread([f = std::move(f), done] {
        f();
        done->set_value();
    }).detach();
    return finished.wait_for(bound) == std::future_status::ready;
}

JackClient::JackClient(std::string name, MidiDirection direction, MakeSession make, std::string skipClient)
    : name_(std::move(name)), direction_(direction), make_(std::move(make)), skipClient_(std::move(skipClient)) {
    // libjack reports a missing server on stderr; a missing server only means no JACK ports.
    jack_set_error_function([](const char*) {});
    jack_set_info_function([](const char*) {});
}

JackClient::~JackClient() { drop(); }

JackSession* JackClient::connect(MidiError* error) {
    if (session_ && session_->serverGone) drop();
    if (session_) return session_;
    if (std::chrono::steady_clock::now() < silentUntil_) {
        if (error) *error = kNotAnswering;
        return nullptr;
    }
    MidiError why;
    jack_client_t* client = openClient(name_, &why);
    if (!client) {
        if (why.kind == MidiError::ServerGone) silentUntil_ = std::chrono::steady_clock::now() + kRetryPause;
        if (error) *error = why;
        return nullptr;
    }
    JackSession* session = make_(client).release();
    session->client = client;
    jack_set_process_callback(client, &process, session);
    jack_on_shutdown(client, &shutDown, session);
    auto activated = std::make_shared<int>(-1);
    if (!runBounded([client, activated] { *activated = jack_activate(client); }, kConnectBound) || *activated != 0) {
        // Closing would wait as long, and a server that answers nothing may still call the
        // session back: both are left to it.
        silentUntil_ = std::chrono::steady_clock::now() + kRetryPause;
        if (error) *error = kNotAnswering;
        return nullptr;
    }
    session_ = session;
    return session_;
}

void JackClient::drop() {
    if (!session_) return;
    JackSession* s = session_;
    session_ = nullptr;
    s->port = nullptr;
    s->release();
    jack_client_t* client = s->client;
    const bool gone = s->serverGone;
    const bool closed = runBounded(
        [client, gone] {
            if (!gone) jack_deactivate(client);
            jack_client_close(client);
        },
        kServerCallBound);
    if (closed) delete s;
}

void JackClient::abandon() {
    if (session_) {
        session_->port = nullptr;
        session_->release();
    }
    session_ = nullptr;
}

std::vector<std::string> JackClient::ports() {
    std::vector<std::string> names;
    if (!connect(nullptr)) return names;
    jack_client_t* client = session_->client;
    // An output writes to ports that take input, an input reads from ports that give output.
    const unsigned long flags = direction_ == MidiDirection::Out ? JackPortIsInput : JackPortIsOutput;
    const char** found = jack_get_ports(client, nullptr, JACK_DEFAULT_MIDI_TYPE, flags);
    if (!found) return names;
    const std::string own = std::string(jack_get_client_name(client)) + ":";
    const std::string skip = skipClient_.empty() ? std::string() : skipClient_ + ":";
    auto in = [](const char* port, const std::string& client) {
        return !client.empty() && std::strncmp(port, client.c_str(), client.size()) == 0;
    };
    for (const char** p = found; *p; ++p)
        if (!in(*p, own) && !in(*p, skip)) names.emplace_back(*p);
    jack_free(found);
    std::sort(names.begin(), names.end());
    return names;
}

bool JackClient::peerFor(int id, std::string* peer, MidiError* error) {
    peer->clear();
    if (id == -1) return true;
    const auto names = ports();
    if (id < 0 || id >= static_cast<int>(names.size())) {
        if (error) *error = {session_ ? MidiError::NoSuchPort : MidiError::NoMidiSystem, "no such JACK port"};
        return false;
    }
    *peer = names[static_cast<size_t>(id)];
    return true;
}

jack_port_t* JackClient::openPort(const std::string& peer, MidiError* error) {
    if (!connect(error)) return nullptr;
    jack_client_t* client = session_->client;
    const bool out = direction_ == MidiDirection::Out;
    jack_port_t* port =
        jack_port_register(client, kOwnPort, JACK_DEFAULT_MIDI_TYPE, out ? JackPortIsOutput : JackPortIsInput, 0);
    if (!port) {
        if (error) *error = {MidiError::PortBusy, "JACK port could not be registered"};
        return nullptr;
    }
    if (peer.empty()) return port;
    const char* own = jack_port_name(port);
    if (jack_connect(client, out ? own : peer.c_str(), out ? peer.c_str() : own) != 0) {
        if (error) *error = {MidiError::NoSuchPort, (out ? "cannot connect to " : "cannot connect from ") + peer};
        jack_port_unregister(client, port);
        return nullptr;
    }
    return port;
}

bool JackClient::closePort(jack_port_t* port) {
    if (!session_ || session_->serverGone) return false;
    jack_client_t* client = session_->client;
    return runBounded([client, port] { jack_port_unregister(client, port); }, kServerCallBound);
}

}  // namespace kf
