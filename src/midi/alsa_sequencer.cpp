#include "midi/alsa_sequencer.h"

#include <alsa/asoundlib.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>

namespace kf {

namespace {

void silentAlsaError(const char*, int, const char*, int, const char*, ...) {}

class SystemAlsaSequencer : public AlsaSequencer {
public:
    ~SystemAlsaSequencer() override {
        if (encoder_) snd_midi_event_free(encoder_);
        if (out_) snd_seq_close(out_);
        if (query_) snd_seq_close(query_);
    }

    bool open(const std::string& clientName, bool blocking, MidiError* error) override {
        // A machine without a sequencer is normal (JACK may serve): then stay quiet about it.
        snd_lib_error_set_handler(&silentAlsaError);
        if (::access("/dev/snd/seq", F_OK) != 0) return fail(error, MidiError::NoMidiSystem, "no /dev/snd/seq");
        int r = snd_seq_open(&out_, "default", SND_SEQ_OPEN_OUTPUT, blocking ? 0 : SND_SEQ_NONBLOCK);
        if (r < 0) return fail(error, MidiError::NoMidiSystem, snd_strerror(r));
        snd_seq_set_client_name(out_, clientName.c_str());
        // Listing runs on a handle of its own, so it never waits behind a blocked send.
        if (snd_seq_open(&query_, "default", SND_SEQ_OPEN_OUTPUT, SND_SEQ_NONBLOCK) < 0) query_ = nullptr;
        if (snd_midi_event_new(256, &encoder_) < 0) encoder_ = nullptr;
        else snd_midi_event_no_status(encoder_, 1);
        return true;
    }

    int clientId() override { return snd_seq_client_id(out_); }

    std::vector<SeqPortInfo> listPorts() override {
        std::lock_guard<std::mutex> lock(queryMutex_);
        std::vector<SeqPortInfo> found;
        snd_seq_t* h = query_ ? query_ : out_;
        snd_seq_client_info_t* client;
        snd_seq_port_info_t* port;
        snd_seq_client_info_alloca(&client);
        snd_seq_port_info_alloca(&port);
        snd_seq_client_info_set_client(client, -1);
        while (snd_seq_query_next_client(h, client) >= 0) {
            const int c = snd_seq_client_info_get_client(client);
            snd_seq_port_info_set_client(port, c);
            snd_seq_port_info_set_port(port, -1);
            while (snd_seq_query_next_port(h, port) >= 0) {
                SeqPortInfo info;
                info.client = c;
                info.port = snd_seq_port_info_get_port(port);
                info.clientName = snd_seq_client_info_get_name(client);
                info.portName = snd_seq_port_info_get_name(port);
                info.capability = snd_seq_port_info_get_capability(port);
                found.push_back(std::move(info));
            }
        }
        return found;
    }

    int createPort(const std::string& name, MidiError* error) override {
        const int p = snd_seq_create_simple_port(out_, name.c_str(), SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ,
                                                 SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION);
        if (p < 0) fail(error, MidiError::Other, snd_strerror(p));
        return p < 0 ? -1 : p;
    }

    bool connectTo(int ownPort, int client, int port, MidiError* error) override {
        const int r = snd_seq_connect_to(out_, ownPort, client, port);
        if (r >= 0) return true;
        return fail(error, r == -EBUSY ? MidiError::PortBusy : MidiError::NoSuchPort, snd_strerror(r));
    }

    void deletePort(int ownPort) override { snd_seq_delete_simple_port(out_, ownPort); }

    int output(int ownPort, const std::uint8_t* data, std::size_t size) override {
        snd_seq_event_t ev;
        snd_seq_ev_clear(&ev);
        if (data[0] == 0xF0) {
            snd_seq_ev_set_sysex(&ev, static_cast<unsigned>(size), const_cast<std::uint8_t*>(data));
        } else {
            if (!encoder_) return -ENOMEM;
            snd_midi_event_reset_encode(encoder_);
            if (snd_midi_event_encode(encoder_, data, static_cast<long>(size), &ev) <= 0 ||
                ev.type == SND_SEQ_EVENT_NONE)
                return -EINVAL;
        }
        snd_seq_ev_set_source(&ev, ownPort);
        snd_seq_ev_set_subs(&ev);
        snd_seq_ev_set_direct(&ev);
        const int r = snd_seq_event_output(out_, &ev);
        if (r < 0) return r;
        // Hand it to the kernel now: pacing is ours, the client buffer must not batch.
        const int d = snd_seq_drain_output(out_);
        return d < 0 ? d : 0;
    }

    int drainOutput() override {
        const int r = snd_seq_drain_output(out_);
        if (r < 0) return r;
        return snd_seq_sync_output_queue(out_);
    }

private:
    static bool fail(MidiError* error, MidiError::Kind kind, const std::string& text) {
        if (error) *error = {kind, text};
        return false;
    }

    snd_seq_t* out_ = nullptr;
    snd_seq_t* query_ = nullptr;
    snd_midi_event_t* encoder_ = nullptr;
    std::mutex queryMutex_;
};

}  // namespace

std::unique_ptr<AlsaSequencer> makeSystemAlsaSequencer() { return std::make_unique<SystemAlsaSequencer>(); }

}  // namespace kf
