// MIDI delivery: the whole-kit switch-on transfer at cable speed and unlimited through a real
// JACK server (to a receiving client that timestamps what arrives), a slider drag during that
// transfer, and the queue's own cost through the recording backend.
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>

#include "gs/device_commands.h"
#include "gs/sysex.h"
#include "jack_receiver.h"
#include "midi/jack_backend.h"
#include "midi/midi_out.h"
#include "recording_backend.h"
#include "sample_kit.h"
#include "switch_on.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr double kWholeKitWireSeconds = 33851 * 320e-6;

struct Row {
    std::string workload, backend;
    size_t sent = 0, delivered = 0;
    double seconds = 0;
    std::string note;
};

long long nowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
}

void burst(kf::MidiOut& out, const kf::Kit& kit, int count) {
    for (int i = 0; i < count; ++i) out.sendLong(kf::buildParameterMessage(kit, 1 + (i / 128) % 2, i % 128, 1 + i % 12));
}

Row runRecording(const std::string& workload, const kf::Kit& kit, int burstCount) {
    auto rec = std::make_unique<kf::RecordingBackend>();
    auto* r = rec.get();
    kf::MidiOut out(std::move(rec));
    out.setPacing({true, {}});
    out.openPort(0);
    const auto t0 = Clock::now();
    if (burstCount) burst(out, kit, burstCount);
    else kf::sendSwitchOnSequence(out, kit, true);
    out.closePort();
    return {workload, "recording, unlimited", static_cast<size_t>(burstCount ? burstCount : 3077), r->sent.size(),
            std::chrono::duration<double>(Clock::now() - t0).count(),
            burstCount ? "over 1,536 addresses: the newest value of each wins while queued" : ""};
}

// drag: 127 level changes of set 2 note 127 (queued near the end) while the kit goes out.
Row runJack(const std::string& workload, kf::Kit kit, bool unlimited, bool drag) {
    Row row{workload, unlimited ? "JACK, unlimited" : "JACK, cable speed", 3077, 0, 0, ""};
    kf::test::JackReceiver receiver("kfbench-recv", 50000, 1 << 21);
    if (!receiver.ok()) {
        row.backend = "JACK (no server)";
        return row;
    }
    kf::MidiOut out(std::make_unique<kf::JackBackend>("kfbench"));
    out.setPacing({unlimited, {}});
    if (!out.openPort(kf::test::portIndex(out, receiver.portName()))) return row;
    const auto t0 = Clock::now();
    kf::sendSwitchOnSequence(out, kit, true);
    long long lastChange = 0;
    if (drag) {
        std::this_thread::sleep_for(std::chrono::seconds(1));
        for (int v = 0; v <= 126; ++v) {
            kit.entry(2, 127).level = static_cast<std::uint8_t>(v);
            out.sendLong(kf::buildParameterMessage(kit, 2, 127, 2));
            lastChange = nowNs();
            std::this_thread::sleep_for(std::chrono::milliseconds(8));
        }
    }
    out.closePort();  // returns once the queue has drained
    row.seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    receiver.waitQuiet(300, 20000);
    const auto events = receiver.events();
    const auto frames = receiver.frames();
    row.delivered = events.size();
    char note[160];
    if (drag) {
        const auto last = kf::buildParameterMessage(kit, 2, 127, 2);
        double latency = -1;
        for (size_t i = 0; i < events.size(); ++i)
            if (events[i] == last) latency = (receiver.arrivals()[i] - lastChange) / 1e9;
        std::snprintf(note, sizeof note, "127 changes; newest level delivered %.2f s after the last change", latency);
        row.note = note;
    } else if (!frames.empty()) {
        const double span = static_cast<std::int32_t>(frames.back() - frames.front()) / double(receiver.sampleRate());
        std::snprintf(note, sizeof note, "frame-time span %.3f s = %.4f x 10.83 s on the wire", span,
                      span / kWholeKitWireSeconds);
        row.note = note;
    }
    if (receiver.xruns()) row.note += " (" + std::to_string(receiver.xruns()) + " xruns)";
    return row;
}

}  // namespace

int main() {
    const kf::Kit kit = kf::test::fullKit();
    Row rows[] = {
        runJack("whole kit", kit, false, false),
        runJack("whole kit", kit, true, false),
        runJack("drag during kit", kit, false, true),
        runRecording("whole kit", kit, 0),
        runRecording("20000 changes", kit, 20000),
    };
    std::printf("%-18s %-22s %8s %10s %9s  %s\n", "workload", "backend", "sent", "delivered", "time s", "");
    for (const Row& r : rows)
        std::printf("%-18s %-22s %8zu %10zu %9.3f  %s\n", r.workload.c_str(), r.backend.c_str(), r.sent, r.delivered,
                    r.seconds, r.note.c_str());
    return 0;
}
