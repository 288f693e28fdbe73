// Every MIDI API of the system as one list of ports, for either direction: the platform's own
// (the ALSA sequencer on Linux, WinMM on Windows, RtMidi elsewhere) first, then JACK's where
// it is built, and device -2 when
// whoever composes the program gives it a synth. SystemApis is the one place that decides
// which API serves an ID and which of JACK's ports are shown; SystemBackend and SystemInput
// are its two directions.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "midi/midi_backend.h"
#include "midi/midi_in.h"

namespace kf {

// Direction is MidiBackend or MidiInBackend: both list, report whether their system is there,
// and open by ID.
template <class Direction>
class SystemApis {
public:
    // platform may be null: then only JACK's ports; jack may be null: then only the platform's.
    SystemApis(std::unique_ptr<Direction> platform, std::unique_ptr<Direction> jack)
        : platform_(std::move(platform)), jack_(std::move(jack)) {}

    std::vector<std::string> ports() {
        std::vector<std::string> names = platformPorts();
        for (auto& n : shownJackPorts(jackPorts())) names.push_back(std::move(n));
        return names;
    }

    // The API that serves device id, and *local, the ID it has there. -1, our own port, is the
    // platform's where its MIDI system is there, else JACK's. Null, with *error, for an ID no
    // API lists.
    Direction* find(int id, int* local, MidiError* error) {
        *local = id;
        if (id == -1 && (platformAvailable() || jack_)) return platformAvailable() ? platform_.get() : jack_.get();
        const int platformCount = static_cast<int>(platformPorts().size());
        if (id >= 0 && id < platformCount) return platform_.get();
        const auto all = jackPorts();
        const auto shown = shownJackPorts(all);
        const int j = id - platformCount;
        if (id < 0 || j >= static_cast<int>(shown.size())) {
            // A server that did not answer the listing may well have the port.
            const MidiError silent = jack_ ? jack_->serverError() : MidiError{};
            if (error && silent.kind != MidiError::None) *error = silent;
            else if (error)
                *error = {platformCount == 0 && shown.empty() ? MidiError::NoMidiSystem : MidiError::NoSuchPort,
                          "no such port"};
            return nullptr;
        }
        // JACK counts its own list, bridged ports included.
        for (size_t k = 0; k < all.size(); ++k)
            if (all[k] == shown[static_cast<size_t>(j)]) *local = static_cast<int>(k);
        return jack_.get();
    }

    // The name of device -1 on the API that serves it; empty when none does.
    std::string ownPortName() {
        int local = -1;
        Direction* d = find(-1, &local, nullptr);
        return d ? d->ownPortName() : std::string();
    }

    // The first API's that has one.
    MidiError serverError() const {
        for (const Direction* d : {platform_.get(), jack_.get()})
            if (d && d->serverError().kind != MidiError::None) return d->serverError();
        return {};
    }

    // f on every API: what each must hear.
    template <class F>
    void each(F f) {
        if (platform_) f(*platform_);
        if (jack_) f(*jack_);
    }

private:
    bool platformAvailable() { return platform_ && platform_->available(); }
    std::vector<std::string> platformPorts() { return platform_ ? platform_->ports() : std::vector<std::string>{}; }
    std::vector<std::string> jackPorts() { return jack_ ? jack_->ports() : std::vector<std::string>{}; }
    // A bridge shows the platform's ports on JACK too; where the platform's system is there,
    // they are listed once, as its own.
    std::vector<std::string> shownJackPorts(std::vector<std::string> names) {
        if (!platformAvailable()) return names;
        std::vector<std::string> own;
        for (auto& n : names)
            if (n.rfind("a2j:", 0) != 0) own.push_back(std::move(n));
        return own;
    }

    std::unique_ptr<Direction> platform_;
    std::unique_ptr<Direction> jack_;
};

// The platform's own MIDI system: the ALSA sequencer on Linux, WinMM on Windows, RtMidi
// elsewhere.
std::unique_ptr<MidiBackend> platformOutput();
std::unique_ptr<MidiInBackend> platformInput();
// JACK's directions; null where JACK is not built (Windows).
std::unique_ptr<MidiBackend> jackOutput();
std::unique_ptr<MidiInBackend> jackInput();

class SystemBackend : public MidiBackend {
public:
    // The platform's output and JACK's (where it is built).
    SystemBackend();
    SystemBackend(std::unique_ptr<MidiBackend> platform, std::unique_ptr<MidiBackend> jack);
    ~SystemBackend() override;

    std::vector<std::string> ports() override { return apis_.ports(); }
    std::string ownPortName() override { return apis_.ownPortName(); }
    bool open(int id, MidiError* error) override;
    std::size_t close() override;
    bool send(const std::uint8_t* data, std::size_t size) override;
    std::chrono::microseconds lead() const override;
    bool sendAt(const std::uint8_t* data, std::size_t size, std::chrono::microseconds fromNow) override;
    MidiError sendError() const override;
    MidiError serverError() const override { return apis_.serverError(); }
    void release() override;
    bool hasBuiltInSynth() const override { return static_cast<bool>(makeSynth_); }
    bool wantsPacing() const override;
    // Makes the built-in synth (device -2) afresh at each open of it; none: no device -2.
    using SynthFactory = std::function<std::unique_ptr<MidiBackend>()>;
    void setBuiltInSynth(SynthFactory factory) { makeSynth_ = std::move(factory); }

private:
    SystemApis<MidiBackend> apis_;
    std::unique_ptr<MidiBackend> synth_;
    SynthFactory makeSynth_;
    MidiBackend* active_ = nullptr;
};

class SystemInput : public MidiInBackend {
public:
    // The platform's input (which may be null: no ports but JACK's) and JACK's (where it is
    // built).
    explicit SystemInput(std::unique_ptr<MidiInBackend> platform = platformInput());
    SystemInput(std::unique_ptr<MidiInBackend> platform, std::unique_ptr<MidiInBackend> jack);
    ~SystemInput() override;

    std::vector<std::string> ports() override { return apis_.ports(); }
    std::string ownPortName() override { return apis_.ownPortName(); }
    bool open(int id, const Bytes& bytes, MidiError* error) override;
    void close() override;
    void onFailure(Failed failed) override;
    MidiError serverError() const override { return apis_.serverError(); }
    void release() override;
    bool hasBuiltInSynth() const override { return static_cast<bool>(synth_); }
    // Device -2: what the built-in synth answers.
    void setBuiltInSynth(std::shared_ptr<LoopbackInput> answers) { synth_ = std::move(answers); }

private:
    SystemApis<MidiInBackend> apis_;
    std::shared_ptr<LoopbackInput> synth_;
    MidiInBackend* active_ = nullptr;
};

}  // namespace kf
