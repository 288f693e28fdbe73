#include "midi/alsa_sequencer.h"

#include <alsa/asoundlib.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

#include "midi/midi_bytes.h"

namespace kf {

namespace {

void silentAlsaError(const char*, int, const char*, int, const char*, ...) {}

class SystemAlsaSequencer : public AlsaSequencer {
public:
    ~SystemAlsaSequencer() override {
        if (codec_) snd_midi_event_free(codec_);
        if (seq_) snd_seq_close(seq_);
    }

    bool open(const std::string& clientName, MidiDirection direction, MidiError* error) override {
        // A machine without a sequencer is normal (JACK may serve): then stay quiet about it.
        snd_lib_error_set_handler(&silentAlsaError);
        if (::access("/dev/snd/seq", F_OK) != 0) return fail(error, MidiError::NoMidiSystem, "no /dev/snd/seq");
        direction_ = direction;
        const int mode = direction == MidiDirection::Out ? SND_SEQ_OPEN_OUTPUT : SND_SEQ_OPEN_INPUT;
        const int r = snd_seq_open(&seq_, "default", mode, SND_SEQ_NONBLOCK);
        if (r < 0) return fail(error, MidiError::NoMidiSystem, snd_strerror(r));
        snd_seq_set_client_name(seq_, clientName.c_str());
        if (snd_midi_event_new(256, &codec_) < 0) codec_ = nullptr;
        else snd_midi_event_no_status(codec_, 1);  // every message whole, no running status
        return true;
    }

    int clientId() override { return snd_seq_client_id(seq_); }

    std::vector<SeqPortInfo> listPorts() override {
        std::vector<SeqPortInfo> found;
        snd_seq_client_info_t* client;
        snd_seq_port_info_t* port;
        snd_seq_client_info_alloca(&client);
        snd_seq_port_info_alloca(&port);
        snd_seq_client_info_set_client(client, -1);
        while (snd_seq_query_next_client(seq_, client) >= 0) {
            const int c = snd_seq_client_info_get_client(client);
            snd_seq_port_info_set_client(port, c);
            snd_seq_port_info_set_port(port, -1);
            while (snd_seq_query_next_port(seq_, port) >= 0)
                found.push_back({c, snd_seq_port_info_get_port(port), snd_seq_client_info_get_name(client),
                                 snd_seq_port_info_get_name(port), snd_seq_port_info_get_capability(port)});
        }
        return found;
    }

    int createPort(const std::string& name, MidiError* error) override {
        const unsigned caps = direction_ == MidiDirection::Out ? SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ
                                                               : SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE;
        const int p = snd_seq_create_simple_port(seq_, name.c_str(), caps,
                                                 SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION);
        if (p < 0) fail(error, MidiError::Other, snd_strerror(p));
        return p < 0 ? -1 : p;
    }

    int connect(int ownPort, int client, int port) override {
        return direction_ == MidiDirection::Out ? snd_seq_connect_to(seq_, ownPort, client, port)
                                                : snd_seq_connect_from(seq_, ownPort, client, port);
    }

    void deletePort(int ownPort) override { snd_seq_delete_simple_port(seq_, ownPort); }

    int output(int ownPort, const std::uint8_t* data, std::size_t size) override {
        snd_seq_event_t ev;
        snd_seq_ev_clear(&ev);
        if (data[0] == midi::kSysEx) {
            snd_seq_ev_set_sysex(&ev, static_cast<unsigned>(size), const_cast<std::uint8_t*>(data));
        } else {
            if (!codec_) return -ENOMEM;
            snd_midi_event_reset_encode(codec_);
            if (snd_midi_event_encode(codec_, data, static_cast<long>(size), &ev) <= 0 ||
                ev.type == SND_SEQ_EVENT_NONE)
                return -EINVAL;
        }
        snd_seq_ev_set_source(&ev, ownPort);
        snd_seq_ev_set_subs(&ev);
        snd_seq_ev_set_direct(&ev);
        // Straight to the kernel, past the library's output buffer: an event the receiver
        // refuses is not left there to go out again behind its own retry.
        const int r = snd_seq_event_output_direct(seq_, &ev);
        return r < 0 ? r : 0;
    }

    void waitForRoom(std::chrono::milliseconds timeout) override {
        std::vector<pollfd> fds = pollFds(POLLOUT);
        const int ready = fds.empty() ? 0 : ::poll(fds.data(), fds.size(), static_cast<int>(timeout.count()));
        // Room in our own pool says nothing of a receiver's input: that one only shows by
        // taking the event, so wait the time out before the next try.
        if (ready != 0) std::this_thread::sleep_for(timeout);
    }

    void dropOutput() override { snd_seq_drop_output(seq_); }

    int read(std::vector<std::uint8_t>* bytes, std::chrono::milliseconds timeout) override {
        std::vector<pollfd> fds = pollFds(POLLIN);
        if (!fds.empty() && ::poll(fds.data(), fds.size(), static_cast<int>(timeout.count())) <= 0) return 0;
        for (;;) {
            snd_seq_event_t* ev = nullptr;
            const int r = snd_seq_event_input(seq_, &ev);
            if (r == -EAGAIN) return 0;  // nothing more now
            if (r < 0) return r;         // -ENOSPC: an overrun lost events
            if (!ev) continue;
            if (ev->type == SND_SEQ_EVENT_SYSEX) {
                const auto* p = static_cast<const std::uint8_t*>(ev->data.ext.ptr);
                bytes->insert(bytes->end(), p, p + ev->data.ext.len);
            } else if (codec_) {
                unsigned char buffer[16];
                const long size = snd_midi_event_decode(codec_, buffer, sizeof buffer, ev);
                if (size > 0) bytes->insert(bytes->end(), buffer, buffer + size);
            }
            if (snd_seq_event_input_pending(seq_, 0) == 0) return 0;
        }
    }

private:
    static bool fail(MidiError* error, MidiError::Kind kind, const std::string& text) {
        if (error) *error = {kind, text};
        return false;
    }

    std::vector<pollfd> pollFds(short events) {
        const int n = snd_seq_poll_descriptors_count(seq_, events);
        std::vector<pollfd> fds(static_cast<size_t>(n > 0 ? n : 0));
        if (n > 0) snd_seq_poll_descriptors(seq_, fds.data(), static_cast<unsigned>(n), events);
        return fds;
    }

    snd_seq_t* seq_ = nullptr;
    snd_midi_event_t* codec_ = nullptr;  // encodes an output's messages, decodes an input's
    MidiDirection direction_ = MidiDirection::Out;
};

}  // namespace

std::unique_ptr<AlsaSequencer> makeSystemAlsaSequencer() { return std::make_unique<SystemAlsaSequencer>(); }

}  // namespace kf
