// One JACK client of the program's own, for either direction: connecting to a server that may
// not answer, noticing that the server went away, listing the other clients' ports and
// registering our port "Kitforge". A server that is stopped (or stuck) holds every call that
// waits for it, at whatever moment it stops; every such call runs here, within a named bound,
// on a thread of its own. One that does not return in time is left to finish, or hang, there:
// the client is given up for good and no caller is held longer.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "midi/bounded_call.h"
#include "midi/midi_backend.h"

typedef struct _jack_client jack_client_t;
typedef struct _jack_port jack_port_t;

namespace kf {

// What the server's threads touch, apart from the client's owner: a server that stops
// answering may still call it back one day, so it is then left alive for good.
struct JackSession {
    virtual ~JackSession() = default;
    // On the server's process thread, once a cycle.
    virtual void process(std::uint32_t nframes) = 0;
    // On a thread of the server's, once serverGone is set: the server shut the client down.
    virtual void shutDown() {}
    // The owner gives the session up (closed, or left to a server that does not answer):
    // nothing of the owner's may run on it any more.
    virtual void release() {}

    jack_client_t* client = nullptr;
    // Our port while it is open; the process callback reads it.
    std::atomic<jack_port_t*> port{nullptr};
    std::atomic<bool> serverGone{false};
};

class JackClient {
public:
    // How long connecting may wait for a server: one that does not answer by then counts as
    // absent.
    static constexpr std::chrono::milliseconds kConnectBound{1000};
    // How long any other call on the server (listing, registering, connecting, unregistering,
    // deactivating, closing) may take.
    static constexpr std::chrono::milliseconds kServerCallBound{500};
    // A server that did not answer is not asked again before this: each try holds the caller.
    static constexpr std::chrono::seconds kRetryPause{3};

    // Makes the session of a client just opened, before it is activated.
    using MakeSession = std::function<std::unique_ptr<JackSession>(jack_client_t*)>;

    // Never starts a server. The ports of skipClient (our own client of the other direction)
    // are not listed: they would only loop back, and their coming and going would move the IDs.
    JackClient(std::string name, MidiDirection direction, MakeSession make, std::string skipClient = {});
    ~JackClient();
    JackClient(const JackClient&) = delete;
    JackClient& operator=(const JackClient&) = delete;

    // The session of an active client; one the server shut down is replaced by a new client.
    // Null, with *error saying why, when no server runs (NoMidiSystem) or the one that does
    // does not answer (ServerGone).
    JackSession* connect(MidiError* error);
    JackSession* session() const { return session_; }
    // Deactivates and closes the client within the bound; a server that does not answer keeps
    // the session.
    void drop();
    // Gives the session up without a call on the server, which is stuck: it keeps it.
    void abandon();
    // Why the last client was given up to a server that did not answer; None again once a
    // new client is active.
    MidiError serverError() const { return serverError_; }

    // MIDI ports of other clients this direction can use, sorted by full name; none, with
    // serverError() set, when the server did not answer.
    std::vector<std::string> ports();
    // The peer for device id: none for -1 (our own port, left for the user to connect), else
    // the port listed at id. False, with *error, for an ID that is not listed.
    bool peerFor(int id, std::string* peer, MidiError* error);
    // Registers our port "Kitforge" and connects it with peer when there is one; null, with
    // *error, when either fails.
    jack_port_t* openPort(const std::string& peer, MidiError* error);
    // Unregisters port within the bound; false when the server did not answer.
    bool closePort(jack_port_t* port);

private:
    // Runs call, which waits on the server, within bound; false, with the client given up,
    // when it did not return in time. call must own whatever it touches: it may outlive us.
    bool ask(std::function<void()> call, std::chrono::milliseconds bound);
    // The server did not answer: nothing more is asked of it for a while.
    void silenced();

    std::string name_;
    MidiDirection direction_;
    MakeSession make_;
    std::string skipClient_;
    JackSession* session_ = nullptr;
    std::chrono::steady_clock::time_point silentUntil_{};  // a server that did not answer
    MidiError serverError_;
};

}  // namespace kf
