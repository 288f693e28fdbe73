#include "midi/system_input.h"

#include "midi/jack_input.h"
#if defined(__linux__)
#include "midi/alsa_input.h"
#else
#include "midi/rtmidi_input.h"
#endif

namespace kf {

std::unique_ptr<MidiInBackend> platformInput() {
#if defined(__linux__)
    return std::make_unique<AlsaInput>();
#else
    return std::make_unique<RtMidiInput>();
#endif
}

SystemInput::SystemInput(std::unique_ptr<MidiInBackend> platform)
    : platform_(std::move(platform)), jack_(std::make_unique<JackInput>()) {}

SystemInput::~SystemInput() { close(); }

std::vector<std::string> SystemInput::jackPorts() {
    auto names = jack_->ports();
    // A bridge shows the platform's ports on JACK too; list them once.
    if (platform_ && !platform_->ports().empty()) {
        std::vector<std::string> own;
        for (auto& n : names)
            if (n.rfind("a2j:", 0) != 0) own.push_back(std::move(n));
        names.swap(own);
    }
    return names;
}

std::vector<std::string> SystemInput::ports() {
    std::vector<std::string> names = platform_ ? platform_->ports() : std::vector<std::string>{};
    for (auto& n : jackPorts()) names.push_back(std::move(n));
    return names;
}

bool SystemInput::open(int id, const Bytes& bytes, MidiError* error) {
    close();
    MidiInBackend* b = nullptr;
    int local = id;
    if (id == -2) {
        if (!synth_) {
            if (error) *error = {MidiError::NoSuchPort, "no built-in synth"};
            return false;
        }
        b = synth_.get();
    } else if (id == -1) {
        b = platform_ ? platform_.get() : static_cast<MidiInBackend*>(jack_.get());
    } else {
        const int platformCount = platform_ ? static_cast<int>(platform_->ports().size()) : 0;
        if (id >= 0 && id < platformCount) {
            b = platform_.get();
        } else {
            const auto names = jackPorts();
            const auto all = jack_->ports();
            const int j = id - platformCount;
            if (j < 0 || j >= static_cast<int>(names.size())) {
                if (error) *error = {platformCount == 0 && names.empty() ? MidiError::NoMidiSystem : MidiError::NoSuchPort,
                                     "no such port"};
                return false;
            }
            // The JACK input counts its own list, bridged ports included.
            for (size_t k = 0; k < all.size(); ++k)
                if (all[k] == names[static_cast<size_t>(j)]) local = static_cast<int>(k);
            b = jack_.get();
        }
    }
    if (!b->open(local, bytes, error)) return false;
    active_ = b;
    return true;
}

void SystemInput::close() {
    if (active_) active_->close();
    active_ = nullptr;
}

}  // namespace kf
