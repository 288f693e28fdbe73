// Calls on a JACK server that may not answer. A server that is stopped (or stuck) holds every
// call that waits for it; these give up after a bound and leave the call to finish, or hang,
// on a thread of its own, so no caller is ever held longer.
#pragma once

#include <chrono>
#include <functional>
#include <string>

#include "midi/midi_backend.h"

typedef struct _jack_client jack_client_t;

namespace kf {

// Runs f on a thread of its own; false when it did not finish within bound.
bool runBounded(std::function<void()> f, std::chrono::milliseconds bound);

// Opens a client that never starts a server; null, with *error saying why, when no server
// runs (NoMidiSystem) or the one that does does not answer within bound (ServerGone).
jack_client_t* openJackClient(const std::string& name, std::chrono::milliseconds bound, MidiError* error);

// Activates client within bound; false when the server did not answer (the client is then
// left to the server: closing it would wait as long).
bool activateJackClient(jack_client_t* client, std::chrono::milliseconds bound);

}  // namespace kf
