// What MidiOut needs from a transport: list, open, close, send.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kf {

using MidiBytes = std::vector<std::uint8_t>;

// Which way a transport carries messages. An output lists the ports of others that can be
// written to and offers a readable port of its own; an input the other way round.
enum class MidiDirection { Out, In };

// Why a port did not open, a message did not go out or come in, or an open connection was
// lost: a kind the user can act on, and the transport's own words.
struct MidiError {
    enum Kind {
        None,
        NoMidiSystem,  // no MIDI system to open, or it went away
        NoSuchPort,    // the port is not listed, or its device went away
        PortBusy,      // taken, or kept by its owner
        ServerGone,    // the MIDI server does not answer, or shut our client down
        Other,
        Stalled,       // the other end took nothing for as long as the transport waits
        Overrun,       // messages came faster than the input could keep them: some were lost
    };
    Kind kind = None;
    std::string text;
    // The connection is gone: nothing more goes out or comes in until the port is opened again.
    bool lost() const { return kind == NoMidiSystem || kind == NoSuchPort || kind == ServerGone; }
};

class MidiBackend {
public:
    virtual ~MidiBackend() = default;

    // Output ports; the index is the device ID. The order must be stable between calls.
    // May be called while another thread sends.
    virtual std::vector<std::string> ports() = 0;
    // Whether the transport's MIDI system is there at all (a sequencer, a server that answers).
    virtual bool available() { return true; }
    // What device -1 is called; empty where the transport has none.
    virtual std::string ownPortName() { return "Kitforge"; }

    // id -1 is the program's own virtual output port (WinMM has none: its MIDI mapper instead). On failure, *error says why.
    virtual bool open(int id, MidiError* error) = 0;

    // Lets what the transport holds go out (bounded), then releases the port. Returns how
    // many taken messages never left: they count as lost.
    virtual std::size_t close() = 0;

    // Returns once the transport has taken the whole message. A transport that cannot take
    // it within its bound returns false; the message is lost.
    virtual bool send(const std::uint8_t* data, std::size_t size) = 0;
    // Why the last send (or sendAt) returned false; a transport that cannot say leaves None.
    virtual MidiError sendError() const { return {}; }
    // Why the transport gave its MIDI server up for not answering in time, at whatever call;
    // None while it answers (again). What was listed or done meanwhile may be short.
    virtual MidiError serverError() const { return {}; }
    // Lets the MIDI system go altogether, the port and any client held on a server, within
    // the transport's bounds, as the destructor would; whatever did not answer shows in
    // serverError(). The next open or listing connects afresh.
    virtual void release() { close(); }

    // Device -2: a synth of the program's own.
    virtual bool hasBuiltInSynth() const { return false; }

    // A software synth takes messages as fast as they come: it is never paced.
    virtual bool wantsPacing() const { return true; }

    // A transport with a timeline of its own (JACK frames) takes messages up to lead()
    // before they are due and places each at its due time, fromNow after the call.
    virtual std::chrono::microseconds lead() const { return std::chrono::microseconds(0); }
    virtual bool sendAt(const std::uint8_t* data, std::size_t size, std::chrono::microseconds /*fromNow*/) {
        return send(data, size);
    }
};

}  // namespace kf
