// Throughput of whole-kit transfers and parameter bursts, through the JACK backend (to a
// receiving client that counts what arrives) and through the recording backend.
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>

#include "jack_receiver.h"
#include "midi/device_commands.h"
#include "midi/jack_backend.h"
#include "midi/midi_out.h"
#include "midi/sysex.h"
#include "sample_kit.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Row {
    std::string workload, backend;
    size_t sent = 0, delivered = 0;
    double seconds = 0;
};

void burst(kf::MidiOut& out, const kf::Kit& kit, int count) {
    for (int i = 0; i < count; ++i) out.sendLong(kf::buildParameterMessage(kit, 1 + (i / 128) % 2, i % 128, 1 + i % 12));
}

Row runRecording(const std::string& workload, const kf::Kit& kit, int burstCount) {
    auto rec = std::make_unique<kf::RecordingBackend>();
    auto* r = rec.get();
    kf::MidiOut out(std::move(rec));
    out.openPort(0);
    const auto t0 = Clock::now();
    if (burstCount) burst(out, kit, burstCount);
    else kf::sendSwitchOnSequence(out, kit, true);
    out.closePort();
    Row row{workload, "recording", r->sent.size(), r->sent.size(),
            std::chrono::duration<double>(Clock::now() - t0).count()};
    return row;
}

Row runJack(const std::string& workload, const kf::Kit& kit, int burstCount, size_t expected) {
    Row row{workload, "JACK", expected, 0, 0};
    kf::test::JackReceiver receiver("kfbench-recv", 50000, 1 << 21);
    if (!receiver.ok()) {
        row.backend = "JACK (no server)";
        return row;
    }
    kf::MidiOut out(std::make_unique<kf::JackBackend>("kfbench"));
    int id = -2;
    for (int i = 0; i < out.deviceCount(); ++i)
        if (out.deviceName(i) == receiver.portName()) id = i;
    if (!out.openPort(id)) return row;
    const auto t0 = Clock::now();
    if (burstCount) burst(out, kit, burstCount);
    else kf::sendSwitchOnSequence(out, kit, true);
    out.closePort();  // returns once the queue has drained
    row.seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    receiver.waitQuiet(300, 20000);
    row.delivered = receiver.eventCount();
    if (receiver.xruns()) row.backend += " (" + std::to_string(receiver.xruns()) + " xruns)";
    return row;
}

}  // namespace

int main() {
    const kf::Kit kit = kf::test::fullKit();
    Row rows[] = {
        runJack("whole kit", kit, 0, 3077),
        runRecording("whole kit", kit, 0),
        runJack("20000 parameters", kit, 20000, 20000),
        runRecording("20000 parameters", kit, 20000),
    };
    std::printf("%-18s %-22s %10s %10s %10s %14s\n", "workload", "backend", "sent", "delivered", "time s",
                "messages/s");
    for (const Row& r : rows) {
        const double rate = r.seconds > 0 ? static_cast<double>(r.delivered) / r.seconds : 0;
        std::printf("%-18s %-22s %10zu %10zu %10.4f %14.0f\n", r.workload.c_str(), r.backend.c_str(), r.sent,
                    r.delivered, r.seconds, rate);
    }
    return 0;
}
