#include "midi/alsa_input.h"


namespace kf {

AlsaInput::AlsaInput(Factory factory, std::string outputClient)
    : factory_(std::move(factory)), outputClient_(std::move(outputClient)) {}

AlsaInput::~AlsaInput() { close(); }

bool AlsaInput::ensureOpen(MidiError* error) {
    if (!tried_) {
        tried_ = true;
        auto seq = factory_ ? factory_() : nullptr;
        if (!seq) openFailure_ = {MidiError::NoMidiSystem, "no ALSA sequencer"};
        else if (seq->open("Kitforge", &openFailure_)) seq_ = std::move(seq);
    }
    if (!seq_ && error) *error = openFailure_;
    return seq_ != nullptr;
}

std::vector<AlsaInput::Source> AlsaInput::sources() {
    std::vector<Source> found;
    if (!ensureOpen(nullptr)) return found;
    const int own = seq_->clientId();
    constexpr unsigned need = AlsaInputSequencer::kCapRead | AlsaInputSequencer::kCapSubsRead;
    for (const auto& p : seq_->listPorts()) {
        if (p.client == own || p.client == AlsaSequencer::kSystemClient || p.clientName == outputClient_ ||
            (p.capability & need) != need)
            continue;
        found.push_back({p.client, p.port, p.clientName + ":" + p.portName});
    }
    return found;
}

std::vector<std::string> AlsaInput::ports() {
    std::vector<std::string> names;
    for (auto& s : sources()) names.push_back(std::move(s.name));
    return names;
}

bool AlsaInput::open(int id, const Bytes& bytes, MidiError* error) {
    close();
    if (!ensureOpen(error)) return false;
    Source source{-1, -1, {}};
    if (id != -1) {
        const auto all = sources();
        if (id < 0 || id >= static_cast<int>(all.size())) {
            if (error) *error = {MidiError::NoSuchPort, "no such ALSA port"};
            return false;
        }
        source = all[static_cast<size_t>(id)];
    }
    const int port = seq_->createPort("Kitforge", error);
    if (port < 0) return false;
    if (source.client >= 0) {
        const int r = seq_->connectFrom(port, source.client, source.port);
        if (r < 0) {
            if (error) *error = connectError(r);
            seq_->deletePort(port);
            return false;
        }
    }
    ownPort_ = port;
    stop_ = false;
    AlsaInputSequencer* seq = seq_.get();
    reader_ = std::thread([this, seq, bytes] {
        std::vector<std::uint8_t> got;
        while (!stop_) {
            got.clear();
            if (seq->read(&got, std::chrono::milliseconds(50)) < 0) break;
            if (!got.empty()) bytes(got.data(), got.size());
        }
    });
    return true;
}

void AlsaInput::close() {
    if (ownPort_ < 0) return;
    stop_ = true;
    if (reader_.joinable()) reader_.join();
    seq_->deletePort(ownPort_);
    ownPort_ = -1;
}

}  // namespace kf
