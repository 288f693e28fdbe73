#include "midi/jack_client.h"

#include <jack/jack.h>

#include <algorithm>
#include <mutex>

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
        if (why.kind == MidiError::ServerGone) silenced();
        if (error) *error = why;
        return nullptr;
    }
    JackSession* session = make_(client).release();
    session->client = client;
    jack_set_process_callback(client, &process, session);
    jack_on_shutdown(client, &shutDown, session);
    auto activated = std::make_shared<int>(-1);
    if (!runBounded([client, activated] { *activated = jack_activate(client); }, kConnectBound)) {
        // Closing would wait as long, and a server that answers nothing may still call the
        // session back: both are left to it.
        silenced();
        if (error) *error = kNotAnswering;
        return nullptr;
    }
    if (*activated != 0) {
        silentUntil_ = std::chrono::steady_clock::now() + kRetryPause;
        if (error) *error = kNotAnswering;
        return nullptr;
    }
    session_ = session;
    serverError_ = {};
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
    else silenced();
}

void JackClient::abandon() {
    if (session_) {
        session_->port = nullptr;
        session_->release();
    }
    session_ = nullptr;
    silenced();
}

void JackClient::silenced() {
    silentUntil_ = std::chrono::steady_clock::now() + kRetryPause;
    serverError_ = kNotAnswering;
}

bool JackClient::ask(std::function<void()> call, std::chrono::milliseconds bound) {
    if (runBounded(std::move(call), bound)) return true;
    abandon();
    return false;
}

std::vector<std::string> JackClient::ports() {
    std::vector<std::string> names;
    if (!connect(nullptr)) return names;
    jack_client_t* client = session_->client;
    // An output writes to ports that take input, an input reads from ports that give output.
    const unsigned long flags = direction_ == MidiDirection::Out ? JackPortIsInput : JackPortIsOutput;
    auto found = std::make_shared<std::vector<std::string>>();
    const bool listed = ask(
        [client, flags, found] {
            const char** ports = jack_get_ports(client, nullptr, JACK_DEFAULT_MIDI_TYPE, flags);
            if (!ports) return;
            for (const char** p = ports; *p; ++p) found->emplace_back(*p);
            jack_free(ports);
        },
        kServerCallBound);
    if (!listed) return names;
    const std::string own = std::string(jack_get_client_name(client)) + ":";
    const std::string skip = skipClient_.empty() ? std::string() : skipClient_ + ":";
    auto in = [](const std::string& port, const std::string& client) {
        return !client.empty() && port.compare(0, client.size(), client) == 0;
    };
    for (std::string& p : *found)
        if (!in(p, own) && !in(p, skip)) names.push_back(std::move(p));
    std::sort(names.begin(), names.end());
    return names;
}

bool JackClient::peerFor(int id, std::string* peer, MidiError* error) {
    peer->clear();
    if (id == -1) return true;
    const auto names = ports();
    if (id < 0 || id >= static_cast<int>(names.size())) {
        if (error) {
            if (!session_ && serverError_.kind != MidiError::None) *error = serverError_;  // not listed: not known
            else *error = {session_ ? MidiError::NoSuchPort : MidiError::NoMidiSystem, "no such JACK port"};
        }
        return false;
    }
    *peer = names[static_cast<size_t>(id)];
    return true;
}

jack_port_t* JackClient::openPort(const std::string& peer, MidiError* error) {
    if (!connect(error)) return nullptr;
    jack_client_t* client = session_->client;
    const bool out = direction_ == MidiDirection::Out;
    auto port = std::make_shared<jack_port_t*>(nullptr);
    const bool registered = ask(
        [client, out, port] {
            *port = jack_port_register(client, kOwnPort, JACK_DEFAULT_MIDI_TYPE,
                                       out ? JackPortIsOutput : JackPortIsInput, 0);
        },
        kServerCallBound);
    if (!registered) {
        if (error) *error = kNotAnswering;
        return nullptr;
    }
    if (!*port) {
        if (error) *error = {MidiError::PortBusy, "JACK port could not be registered"};
        return nullptr;
    }
    if (peer.empty()) return *port;
    const std::string own = jack_port_name(*port);
    auto connected = std::make_shared<int>(-1);
    const bool answered = ask(
        [client, from = out ? own : peer, to = out ? peer : own, connected] {
            *connected = jack_connect(client, from.c_str(), to.c_str());
        },
        kServerCallBound);
    if (!answered) {
        if (error) *error = kNotAnswering;
        return nullptr;
    }
    if (*connected != 0) {
        if (error) *error = {MidiError::NoSuchPort, (out ? "cannot connect to " : "cannot connect from ") + peer};
        closePort(*port);
        return nullptr;
    }
    return *port;
}

bool JackClient::closePort(jack_port_t* port) {
    if (!session_ || session_->serverGone) return false;
    jack_client_t* client = session_->client;
    return ask([client, port] { jack_port_unregister(client, port); }, kServerCallBound);
}

}  // namespace kf
