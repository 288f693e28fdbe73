#include "cli/cli.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <ostream>

#include "cli/render_synth.h"
#include "files/disk.h"
#include "files/exports.h"
#include "files/kit_file.h"
#include "files/kit_import.h"
#include "files/reference_tables.h"
#include "files/song_embed.h"
#include "gs/device_commands.h"
#include "gs/kit_fetch.h"
#include "gs/kit_verify.h"
#include "gs/sysex.h"
#include "midi/midi_bytes.h"
#include "midi/midi_in.h"
#include "midi/midi_out.h"
#include "model/sjis.h"
#include "platform/shift_jis.h"

namespace kf::cli {

const char* const kUsage =
    "usage:\n"
    "  kitforge-cli convert [--no-comment] IN OUT\n"
    "      Reads the kit file IN (or the user drum sets of a MIDI file, SysEx dump or hex\n"
    "      text, told apart by content) and writes OUT in the format its extension names:\n"
    "      .kfg kit file, .mid Standard MIDI File, .prt Recomposer PRT, .txt hex text,\n"
    "      .syx SysEx dump (the messages send sends, less the program changes).\n"
    "      Comments go into the exports unless --no-comment is given.\n"
    "  kitforge-cli embed [--gap MS] [--reset] [--keep] KIT SONG OUT\n"
    "      Puts the kit KIT (any file convert reads) into the opening of SONG, a Standard\n"
    "      MIDI File of format 0 or 1 or a RIFF MIDI file (.rmi), and writes the song to OUT\n"
    "      in the form it came in. The messages are those of the .syx export, on the first\n"
    "      track that carries SysEx (else the conductor track), before the first note: at\n"
    "      least 50 ms after the song's GS reset or GM system on (--reset adds a GS reset to\n"
    "      a song that has none), MS milliseconds apart from start to start (0 to 1000,\n"
    "      default 20; never closer than a message's time on a cable). Where they do not\n"
    "      fit, the song moves later by whole measures of its time signature. User drum set\n"
    "      messages the song carries are replaced, or kept with --keep. Prints what it did;\n"
    "      a song it cannot read is refused naming the byte, and nothing is written.\n"
    "  kitforge-cli ports [--in]\n"
    "      Lists the MIDI output devices (with --in the input devices): ID, a tab, the name.\n"
    "      -1 is the own port \"Kitforge\" (on Windows the MIDI mapper, for output only).\n"
    "  kitforge-cli send --port ID [--unlimited] [--pause MS] [--verify --in IN] KIT\n"
    "      Opens device ID and sends the kit file KIT as preview does when switched on:\n"
    "      the rhythm-part message, then every used note, each set's name and program change.\n"
    "      --verify then compares the module with KIT as verify does and sends what differs\n"
    "      again (at least 40 ms after each message), up to three rounds; exit 1 when\n"
    "      something still differs.\n"
    "  kitforge-cli command --port ID [--unlimited] [--pause MS] N\n"
    "      Sends device command N: 0 ALL SOUND OFF, 1 GS RESET, 2 SYSTEM MODE 1,\n"
    "      3 SYSTEM MODE 2, 4 ALL PART Pro MAP.\n"
    "      Messages leave at the speed of a MIDI cable; --unlimited sends as fast as the\n"
    "      device takes them, --pause adds MS (0 to 500) milliseconds after each SysEx.\n"
    "  kitforge-cli fetch --port OUT --in IN [--device-id N] [--one-by-one] [--partial] OUT.kfg\n"
    "      Reads both user drum sets back from the module: data requests go to output\n"
    "      device OUT, the answers come from input device IN (kitforge-cli ports --in lists\n"
    "      them), for device ID N (default 16). A note becomes used when the reference tables\n"
    "      know its source instrument and all of its parameters came. --one-by-one asks one\n"
    "      request at a time. A request is asked again until answered; if the module stops\n"
    "      answering, the notes left incomplete are listed and nothing is written (exit 1),\n"
    "      unless --partial is given: then the complete notes are written (exit 0).\n"
    "  kitforge-cli verify --port OUT --in IN [--device-id N] [--one-by-one] KIT\n"
    "      Reads back from the module what the kit file KIT says it should hold (both set\n"
    "      names, all parameters of every used note) and lists on standard output where\n"
    "      they differ. Exit 0 when the module holds KIT, 1 when it differs or does not\n"
    "      answer.\n"
    "  kitforge-cli render [--soundfont SF2] IN OUT.wav\n"
    "      Plays every used note of IN, set 1 then set 2, through the built-in synth (a note\n"
    "      every 0.5 s, velocity 100, released after 0.4 s) into a 44.1 kHz stereo WAV.\n"
    "  kitforge-cli tables [--use-map N] [DIR]\n"
    "      Loads the reference tables (from DIR, else the default place) and prints the\n"
    "      drum set list. N: 0 SC-55/SC-88, 1 with SC-88Pro (default), other values all maps.\n"
    "  kitforge-cli --help\n"
    "  kitforge-cli --version\n"
    "exit status: 0 success, 1 failure, 2 bad arguments\n";

namespace {

struct Usage {};

int usage(std::ostream& err, const std::string& why) {
    if (!why.empty()) err << "kitforge-cli: " << why << "\n";
    err << kUsage;
    return 2;
}

int parseNumber(const std::string& s) {
    size_t used = 0;
    int v = 0;
    try {
        v = std::stoi(s, &used);
    } catch (...) {
        throw Usage{};
    }
    if (used != s.size()) throw Usage{};
    return v;
}

enum class Format { Kit, Midi, Prt, Text, Sysex, Unknown };

Format formatOf(const std::string& path) {
    const std::string ext = sjis::upper(std::filesystem::u8path(path).extension().u8string());
    if (ext == ".KFG") return Format::Kit;
    if (ext == ".MID") return Format::Midi;
    if (ext == ".PRT") return Format::Prt;
    if (ext == ".TXT") return Format::Text;
    if (ext == ".SYX") return Format::Sysex;
    return Format::Unknown;
}

void reportFileError(const FileError& e, std::ostream& err) {
    err << "kitforge-cli: " << e.what();
    if (!e.detail().empty()) err << " (" << e.detail() << ")";
    err << "\n";
}

// A file that is no kit file may still carry user drum sets (a MIDI file, a SysEx dump, hex
// text): imported, with a summary on err. False when nothing usable was found.
bool importKit(const std::string& path, const std::string& bytes, Kit& kit, std::ostream& err,
               const std::vector<std::string>& tableDirs) {
    ReferenceTables tables;
    bool haveTables = false;
    try {
        int useMap = 2;
        tables = LoadReferenceTables(tableDirs, useMap, 256);
        haveTables = true;
    } catch (const FileError&) {
        // Instrument names then come only from the file itself.
    }
    const ImportSummary s = ImportKit(bytes, kit, haveTables ? &tables : nullptr);
    err << "kitforge-cli: " << path << ": " << describeImport(s) << "\n";
    if (s.usable()) return true;
    err << "kitforge-cli: " << path << ": " << kNotKitFileText << "\n";
    return false;
}

// Reads a kit file as Open does: into a reset Kit, refused files rejected; anything else is
// imported when it carries user drum sets.
bool readKit(const std::string& path, Kit& kit, std::ostream& err, const Environment& env) {
    std::string bytes;
    try {
        bytes = readFileBytes(path, env.disk);
    } catch (const FileError& e) {
        reportFileError(e, err);
        return false;
    }
    kit.reset();
    const KitReadResult r = ReadKitFile(bytes, kit);
    if (r.status == KitReadResult::NotKitFile) return importKit(path, bytes, kit, err, env.tableDirs);
    if (r.status == KitReadResult::RefusedVersion) {
        err << "kitforge-cli: " << path << ": " << kRefusedVersionText << " (version " << r.version << ")\n";
        return false;
    }
    return true;
}

int convert(const std::vector<std::string>& args, std::ostream& err, const Environment& env) {
    bool comment = true;
    std::vector<std::string> paths;
    for (size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "--no-comment") comment = false;
        else if (args[i].size() > 1 && args[i][0] == '-') return usage(err, "unknown option " + args[i]);
        else paths.push_back(args[i]);
    }
    if (paths.size() != 2) return usage(err, "convert takes IN and OUT");
    const Format format = formatOf(paths[1]);
    if (format == Format::Unknown) return usage(err, "OUT must end in .kfg, .mid, .prt, .txt or .syx");
    Kit kit;
    if (!readKit(paths[0], kit, err, env)) return 1;
    std::string bytes;
    switch (format) {
        case Format::Kit: bytes = WriteKitFile(kit); break;
        case Format::Midi: {
            const std::string absolute = std::filesystem::absolute(std::filesystem::u8path(paths[1])).u8string();
            bytes = WriteMidiFile(kit, comment, toShiftJis(absolute));
            break;
        }
        case Format::Prt: bytes = WritePrtFile(kit, comment); break;
        case Format::Sysex: bytes = WriteSysexFile(kit); break;
        default: bytes = WriteTextFile(kit, comment); break;
    }
    try {
        writeFileAtomically(paths[1], bytes, env.disk);
    } catch (const FileError& e) {
        reportFileError(e, err);
        return 1;
    }
    return 0;
}

int embed(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, const Environment& env) {
    EmbedOptions options;
    std::vector<std::string> paths;
    for (size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "--gap" && i + 1 < args.size()) {
            options.gapMs = parseNumber(args[++i]);
            if (options.gapMs < 0 || options.gapMs > kMaxEmbedGapMs) return usage(err, "--gap takes 0 to 1000 (ms)");
        } else if (args[i] == "--reset") {
            options.addReset = true;
        } else if (args[i] == "--keep") {
            options.keepUserDrum = true;
        } else if (args[i].size() > 1 && args[i][0] == '-') {
            return usage(err, "unknown option " + args[i]);
        } else {
            paths.push_back(args[i]);
        }
    }
    if (paths.size() != 3) return usage(err, "embed takes KIT, SONG and OUT");
    Kit kit;
    if (!readKit(paths[0], kit, err, env)) return 1;
    std::string song, bytes;
    EmbedReport report;
    try {
        song = readFileBytes(paths[1], env.disk);
        bytes = EmbedKit(song, kit, options, &report);
    } catch (const SmfError& e) {
        err << "kitforge-cli: " << paths[1] << ": " << e.what() << "; nothing written\n";
        return 1;
    }
    writeFileAtomically(paths[2], bytes, env.disk);
    for (const std::string& line : describeEmbed(report)) out << line << "\n";
    return 0;
}

struct SendArguments {
    int port = 0;
    Pacing pacing;
    std::string argument;
    bool verify = false;
    int inPort = -1;
    bool haveIn = false;
};

// --port ID, the pacing options, then exactly one more argument.
SendArguments sendArguments(const std::vector<std::string>& args) {
    SendArguments a;
    bool havePort = false;
    std::vector<std::string> rest;
    for (size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "--port" && i + 1 < args.size()) {
            a.port = parseNumber(args[++i]);
            havePort = true;
        } else if (args[i] == "--unlimited") {
            a.pacing.unlimited = true;
        } else if (args[i] == "--pause" && i + 1 < args.size()) {
            const int ms = parseNumber(args[++i]);
            if (ms < 0 || ms > kMaxSysexPauseMs) throw Usage{};
            a.pacing.sysexPause = std::chrono::milliseconds(ms);
        } else if (args[i] == "--verify") {
            a.verify = true;
        } else if (args[i] == "--in" && i + 1 < args.size()) {
            a.inPort = parseNumber(args[++i]);
            a.haveIn = true;
        } else {
            rest.push_back(args[i]);
        }
    }
    if (!havePort || rest.size() != 1 || a.verify != a.haveIn) throw Usage{};
    a.argument = rest[0];
    return a;
}

std::unique_ptr<MidiOut> makeOut(const Environment& env, const Pacing& pacing) {
    auto out = env.clock ? std::make_unique<MidiOut>(env.makeBackend(), env.clock)
                         : std::make_unique<MidiOut>(env.makeBackend());
    out->setPacing(pacing);
    return out;
}

bool openPort(MidiOut& out, int port, std::ostream& err) {
    if (out.openPort(port)) return true;
    err << "kitforge-cli: cannot open MIDI device " << port;
    if (!out.lastOpenError().text.empty()) err << ": " << out.lastOpenError().text;
    err << "\n";
    return false;
}

// A MIDI server that stopped answering, at whatever call, fails the verb whatever else it did:
// what was listed may be short, and a port it was given up with did not close.
int serverChecked(int status, const MidiError& why, std::ostream& err) {
    if (why.kind == MidiError::None) return status;
    err << "kitforge-cli: " << why.text << "\n";
    return 1;
}

// A read stops once the device takes no more requests: it would only wait out their answers.
void stopOnDrop(MidiOut& out, std::atomic<bool>& stop) {
    out.setDropHandler([&stop](const std::string&) { stop = true; });
}

// Whether every request went out and neither server was given up; else says why.
bool linesHeld(MidiOut& out, MidiIn& in, std::ostream& err) {
    bool held = true;
    if (out.droppedCount() != 0) {
        err << "kitforge-cli: the MIDI device did not take " << out.droppedCount() << " message(s)";
        if (!out.lastDropError().text.empty()) err << ": " << out.lastDropError().text;
        err << "\n";
        held = false;
    }
    for (const MidiError& why : {out.serverError(), in.serverError()})
        if (why.kind != MidiError::None) {
            err << "kitforge-cli: " << why.text << "\n";
            return false;
        }
    return held;
}

int finishSend(MidiOut& out, std::ostream& err, const Environment& env) {
    if (env.progressOnErr) {
        // A line that rewrites itself while the transfer runs.
        for (SendProgress p = out.progress(); !p.idle(); p = out.progress()) {
            const double left = std::chrono::duration<double>(p.left).count();
            char line[96];
            std::snprintf(line, sizeof line, "\rsent %zu of %zu, %.1f s left   ", p.sent, p.sent + p.queued, left);
            err << line << std::flush;
            out.flush(std::chrono::milliseconds(100));
        }
        err << "\r" << std::string(40, ' ') << "\r" << std::flush;
    }
    out.release();
    int status = 0;
    if (out.droppedCount() != 0) {
        err << "kitforge-cli: the MIDI device did not take " << out.droppedCount() << " message(s)";
        if (!out.lastDropError().text.empty()) err << ": " << out.lastDropError().text;
        err << "\n";
        status = 1;
    }
    return serverChecked(status, out.serverError(), err);
}

int verifyAfterSend(MidiOut& out, const Kit& kit, const SendArguments& a, std::ostream& stdOut, std::ostream& err,
                    const Environment& env);

int send(const std::vector<std::string>& args, std::ostream& stdOut, std::ostream& err, const Environment& env) {
    const SendArguments a = sendArguments(args);
    Kit kit;
    if (!readKit(a.argument, kit, err, env)) return 1;
    if (a.verify && !env.makeInput) {
        err << "kitforge-cli: no MIDI input here\n";
        return 1;
    }
    auto out = makeOut(env, a.pacing);
    if (!openPort(*out, a.port, err)) return 1;
    sendSwitchOnSequence(*out, kit, true);
    if (!a.verify) return finishSend(*out, err, env);
    return verifyAfterSend(*out, kit, a, stdOut, err, env);
}

int command(const std::vector<std::string>& args, std::ostream& err, const Environment& env) {
    const SendArguments a = sendArguments(args);
    if (a.verify) throw Usage{};
    const int n = parseNumber(a.argument);
    if (n < 0 || n >= kDeviceCommandCount) return usage(err, "N must be 0 to 4");
    auto out = makeOut(env, a.pacing);
    if (!openPort(*out, a.port, err)) return 1;
    sendDeviceCommand(*out, true, n);
    return finishSend(*out, err, env);
}

// ID, a tab, the name, for each device; -1 only where the transport has a port of its own
// (WinMM's inputs have none).
template <class Midi>
void listDevices(Midi& midi, std::ostream& out) {
    const int count = midi.deviceCount();
    const int first = midi.deviceName(Midi::kBuiltInSynth).empty() ? -1 : Midi::kBuiltInSynth;
    for (int id = first; id < count; ++id) {
        const std::string name = midi.deviceName(id);
        if (id != -1 || !name.empty()) out << id << "\t" << name << "\n";
    }
}

int ports(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, const Environment& env) {
    const bool inputs = args.size() == 2 && args[1] == "--in";
    if (args.size() != 1 && !inputs) return usage(err, "ports takes no arguments but --in");
    if (inputs) {
        if (!env.makeInput) return 0;
        MidiIn midi(env.makeInput());
        listDevices(midi, out);
        midi.release();
        return serverChecked(0, midi.serverError(), err);
    }
    MidiOut midi(env.makeBackend());
    listDevices(midi, out);
    midi.release();
    return serverChecked(0, midi.serverError(), err);
}

void put16(std::string& s, unsigned v) {
    s += static_cast<char>(v & 0xFF);
    s += static_cast<char>((v >> 8) & 0xFF);
}
void put32(std::string& s, unsigned v) {
    put16(s, v & 0xFFFF);
    put16(s, v >> 16);
}

bool openInput(MidiIn& in, int port, std::ostream& err) {
    if (in.openPort(port)) return true;
    err << "kitforge-cli: cannot open MIDI input " << port;
    if (!in.lastOpenError().text.empty()) err << ": " << in.lastOpenError().text;
    err << "\n";
    return false;
}

void listIncomplete(const FetchSummary& summary, std::ostream& err) {
    if (summary.names < kSetCount) err << "incomplete: " << kSetCount - summary.names << " set name(s)\n";
    for (const IncompleteNote& n : summary.incomplete) {
        err << "incomplete: set " << n.set << " note " << n.note << ", missing";
        for (std::size_t i = 0; i < n.missing.size(); ++i) err << (i ? ", " : " ") << deviceParameterName(n.missing[i]);
        err << "\n";
    }
}

// The options of the verbs that read the module back.
struct ReadOptions {
    int outPort = 0, inPort = 0;
    bool haveOut = false, haveIn = false;
    FetchSettings settings;
};

// Takes args[i], and its value, when it is one of the read options.
bool takeReadOption(const std::vector<std::string>& args, size_t& i, ReadOptions& o) {
    const bool valued = i + 1 < args.size();
    if (args[i] == "--port" && valued) {
        o.outPort = parseNumber(args[++i]);
        o.haveOut = true;
    } else if (args[i] == "--in" && valued) {
        o.inPort = parseNumber(args[++i]);
        o.haveIn = true;
    } else if (args[i] == "--device-id" && valued) {
        const int id = parseNumber(args[++i]);
        if (id < 0 || id > 0x1F) throw Usage{};
        o.settings.deviceId = static_cast<std::uint8_t>(id);
    } else if (args[i] == "--one-by-one") {
        o.settings.oneByOne = true;
    } else {
        return false;
    }
    return true;
}

int fetch(const std::vector<std::string>& args, std::ostream& err, const Environment& env) {
    ReadOptions o;
    bool partial = false;
    std::vector<std::string> rest;
    for (size_t i = 1; i < args.size(); ++i) {
        if (takeReadOption(args, i, o)) continue;
        if (args[i] == "--partial") partial = true;
        else rest.push_back(args[i]);
    }
    const int outPort = o.outPort, inPort = o.inPort;
    const bool haveOut = o.haveOut, haveIn = o.haveIn;
    const FetchSettings& settings = o.settings;
    if (!haveOut || !haveIn || rest.size() != 1 || formatOf(rest[0]) != Format::Kit) throw Usage{};
    if (!env.makeInput) {
        err << "kitforge-cli: no MIDI input here\n";
        return 1;
    }
    int useMap = 2;
    const ReferenceTables tables = LoadReferenceTables(env.tableDirs, useMap, 256);
    auto out = makeOut(env, Pacing{});
    if (!openPort(*out, outPort, err)) return 1;
    MidiIn in(env.makeInput());
    if (!openInput(in, inPort, err)) return 1;
    KitFetch job(&tables, settings);
    std::atomic<bool> cancel{false};
    stopOnDrop(*out, cancel);
    std::function<void(int, int)> progress;
    if (env.progressOnErr) progress = [&](int done, int planned) {
        char line[64];
        std::snprintf(line, sizeof line, "\rfetched %d of %d   ", done, planned);
        err << line << std::flush;
    };
    const KitFetch::State state = runFetch(job, *out, in, cancel, progress);
    if (env.progressOnErr) err << "\r" << std::string(40, ' ') << "\r" << std::flush;
    in.closePort();
    out->closePort();
    out->setDropHandler({});
    const std::string ports = "output " + out->deviceName(outPort) + ", input " + in.deviceName(inPort);
    in.release();
    out->release();
    // Requests that never left, or a server given up, explain the silence: not the module.
    const bool held = linesHeld(*out, in, err);
    if (state == KitFetch::State::NoAnswer) {
        if (held) err << "kitforge-cli: the module does not answer (" << ports << ")\n";
        return 1;
    }
    FetchSummary summary;
    const Kit kit = job.result(&summary);
    const bool whole = state == KitFetch::State::Done && summary.complete();
    if (!whole) {
        if (state != KitFetch::State::Done && held)
            err << "kitforge-cli: the module stopped answering (" << ports << ")\n";
        listIncomplete(summary, err);
        if (!partial) {
            err << "kitforge-cli: nothing written (--partial writes the complete notes)\n";
            return 1;
        }
    }
    writeFileAtomically(rest[0], WriteKitFile(kit), env.disk);
    err << "set 1: " << summary.notes[0] << " notes, set 2: " << summary.notes[1] << " notes, names: " << summary.names
        << ", unanswered requests: " << summary.unanswered << "\n"
        << "ignored answers: " << summary.otherDevice << " of another device, " << summary.otherAddress
        << " of another address, " << summary.badChecksum << " with a bad checksum\n";
    return held ? 0 : 1;
}

// One compare's reads through out and in, with the fetch's line of progress; stop ends them.
std::function<KitFetch::State(KitFetch&)> comparer(MidiOut& out, MidiIn& in, std::ostream& err, const Environment& env,
                                                   const std::atomic<bool>& stop) {
    return [&out, &in, &err, &env, &stop](KitFetch& reads) {
        std::function<void(int, int)> progress;
        if (env.progressOnErr) progress = [&](int done, int planned) {
            char line[64];
            std::snprintf(line, sizeof line, "\rcompared %d of %d   ", done, planned);
            err << line << std::flush;
        };
        const KitFetch::State state = runFetch(reads, out, in, stop, progress);
        if (env.progressOnErr) err << "\r" << std::string(40, ' ') << "\r" << std::flush;
        return state;
    };
}

// Lets the queue drain however long it takes, the line of progress showing.
void waitSent(MidiOut& out, std::ostream& err, const Environment& env) {
    for (SendProgress p = out.progress(); !p.idle(); p = out.progress()) {
        if (env.progressOnErr) {
            char line[96];
            std::snprintf(line, sizeof line, "\rsent %zu of %zu, %.1f s left   ", p.sent, p.sent + p.queued,
                          std::chrono::duration<double>(p.left).count());
            err << line << std::flush;
        }
        out.flush(std::chrono::milliseconds(100));
    }
    if (env.progressOnErr) err << "\r" << std::string(40, ' ') << "\r" << std::flush;
}

// The differences on standard output, then what they come to; 0 when there are none. A
// module that never answered is named with both ports instead.
int reportCompare(const VerifyReport& report, const std::string& ports, std::ostream& stdOut, std::ostream& err) {
    if (report.state == KitFetch::State::NoAnswer) {
        err << "kitforge-cli: the module does not answer (" << ports << ")\n";
        return 1;
    }
    if (report.state != KitFetch::State::Done) err << "kitforge-cli: the module stopped answering (" << ports << ")\n";
    for (const Difference& d : report.differences) stdOut << describeDifference(d) << "\n";
    if (report.same()) {
        stdOut << "the module holds the kit\n";
        return 0;
    }
    stdOut << report.notesDiffering() << " note(s) and " << report.namesDiffering() << " name(s) differ\n";
    return 1;
}

int verifyAfterSend(MidiOut& out, const Kit& kit, const SendArguments& a, std::ostream& stdOut, std::ostream& err,
                    const Environment& env) {
    // Named before the input's own client joins the list and may shift the IDs.
    const std::string outName = out.deviceName(a.port);
    MidiIn in(env.makeInput());
    if (!openInput(in, a.inPort, err)) {
        out.closePort();
        return 1;
    }
    waitSent(out, err, env);
    const std::string ports = "output " + outName + ", input " + in.deviceName(a.inPort);
    std::atomic<bool> stop{out.droppedCount() != 0};
    stopOnDrop(out, stop);
    const auto compare = comparer(out, in, err, env, stop);
    FetchSettings settings;
    VerifyReport first = runCompare(kit, settings, compare);
    Pacing repair = a.pacing;
    repair.unlimited = false;
    repair.sysexPause = std::max(repair.sysexPause, std::chrono::milliseconds(kRepairPauseMs));
    const RepairOutcome outcome =
        repairRounds(kit, std::move(first), settings, compare, [&](const std::vector<MidiBytes>& messages) {
            // The requests of the next compare go at the pace of a fetch again.
            out.setPacing(repair);
            for (const MidiBytes& m : messages) out.sendLong(m);
            waitSent(out, err, env);
            out.setPacing(Pacing{});
            return true;
        });
    in.release();
    // A device that stopped taking messages leaves nothing compared: why is said below.
    const bool cut = stop.load();
    int status = 1;
    if (!cut) {
        if (outcome.rounds > 0)
            stdOut << "sent again: " << outcome.sent << " message(s) in " << outcome.rounds << " round(s)\n";
        status = reportCompare(outcome.last, ports, stdOut, err);
    }
    const int sent = serverChecked(finishSend(out, err, env), in.serverError(), err);
    out.setDropHandler({});
    return status != 0 ? status : sent;
}

int verify(const std::vector<std::string>& args, std::ostream& stdOut, std::ostream& err, const Environment& env) {
    ReadOptions o;
    std::vector<std::string> rest;
    for (size_t i = 1; i < args.size(); ++i) {
        if (takeReadOption(args, i, o)) continue;
        if (args[i].size() > 1 && args[i][0] == '-') throw Usage{};
        rest.push_back(args[i]);
    }
    const int outPort = o.outPort, inPort = o.inPort;
    const bool haveOut = o.haveOut, haveIn = o.haveIn;
    const FetchSettings& settings = o.settings;
    if (!haveOut || !haveIn || rest.size() != 1) throw Usage{};
    Kit kit;
    if (!readKit(rest[0], kit, err, env)) return 1;
    if (!env.makeInput) {
        err << "kitforge-cli: no MIDI input here\n";
        return 1;
    }
    auto out = makeOut(env, Pacing{});
    if (!openPort(*out, outPort, err)) return 1;
    const std::string outName = out->deviceName(outPort);
    MidiIn in(env.makeInput());
    if (!openInput(in, inPort, err)) return 1;
    const std::string ports = "output " + outName + ", input " + in.deviceName(inPort);
    std::atomic<bool> stop{false};
    stopOnDrop(*out, stop);
    const VerifyReport report = runCompare(kit, settings, comparer(*out, in, err, env, stop));
    in.release();
    out->release();
    out->setDropHandler({});
    const bool held = linesHeld(*out, in, err);
    if (stop) return 1;
    const int status = reportCompare(report, ports, stdOut, err);
    return held ? status : 1;
}

int render(const std::vector<std::string>& args, std::ostream& err, const Environment& env) {
    std::string soundFont;
    std::vector<std::string> paths;
    for (size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "--soundfont" && i + 1 < args.size()) soundFont = args[++i];
        else if (args[i].size() > 1 && args[i][0] == '-') return usage(err, "unknown option " + args[i]);
        else paths.push_back(args[i]);
    }
    if (paths.size() != 2) return usage(err, "render takes IN and OUT.wav");
    Kit kit;
    if (!readKit(paths[0], kit, err, env)) return 1;
    std::string why;
    const std::unique_ptr<RenderSynth> synth = startRenderSynth(soundFont, &why);
    if (!synth) {
        err << "kitforge-cli: the built-in synth did not start: " << why << "\n";
        return 1;
    }
    auto send = [&synth](const MidiBytes& m) { synth->send(m); };
    // What the module is told when preview switches on, then one note after another.
    send(rhythmPart11Message());
    for (int set = 1; set <= kSetCount; ++set)
        for (int note = 0; note < kNoteCount; ++note)
            if (kit.entry(set, note).used)
                for (int p = 1; p <= 12; ++p) send(buildParameterMessage(kit, set, note, p));
    constexpr int kRate = 44100, kOn = kRate * 4 / 10, kOff = kRate / 10;
    std::vector<float> frames;
    auto play = [&](int count) {
        const size_t at = frames.size();
        frames.resize(at + 2 * static_cast<size_t>(count));
        synth->renderFloat(frames.data() + at, count);
    };
    for (int set = 1; set <= kSetCount; ++set)
        for (int note = 0; note < kNoteCount; ++note) {
            if (!kit.entry(set, note).used) continue;
            send({midi::kRhythmProgram, static_cast<std::uint8_t>(midi::kUserSetProgramBase + set)});
            send({midi::kRhythmNoteOn, static_cast<std::uint8_t>(note), 100});
            play(kOn);
            send({midi::kRhythmNoteOn, static_cast<std::uint8_t>(note), 0});
            play(kOff);
        }
    std::string wav = "RIFF";
    const unsigned dataBytes = static_cast<unsigned>(frames.size() * 2);
    put32(wav, 36 + dataBytes);
    wav += "WAVEfmt ";
    put32(wav, 16);
    put16(wav, 1);  // PCM
    put16(wav, 2);
    put32(wav, kRate);
    put32(wav, kRate * 4);
    put16(wav, 4);
    put16(wav, 16);
    wav += "data";
    put32(wav, dataBytes);
    for (float f : frames) put16(wav, static_cast<unsigned>(static_cast<std::int16_t>(std::lround(std::clamp(f, -1.0f, 1.0f) * 32767))));
    writeFileAtomically(paths[1], wav, env.disk);
    return 0;
}

int tables(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, const Environment& env) {
    int useMap = 1;
    std::vector<std::string> dirs = env.tableDirs;
    bool haveDir = false;
    for (size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "--use-map" && i + 1 < args.size()) useMap = parseNumber(args[++i]);
        else if (!haveDir && (args[i].empty() || args[i][0] != '-')) dirs = {args[i]}, haveDir = true;
        else throw Usage{};
    }
    try {
        const ReferenceTables t = LoadReferenceTables(dirs, useMap, 256);
        for (const auto& item : t.mapList) out << fromShiftJis(item) << "\n";
    } catch (const FileError& e) {
        reportFileError(e, err);
        return 1;
    }
    return 0;
}

}  // namespace

namespace {

int runVerb(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, const Environment& env) {
    const std::string& verb = args[0];
    try {
        if (verb == "--help" || verb == "-h" || verb == "help") {
            out << kUsage;
            return 0;
        }
        if (verb == "--version") {
            if (args.size() != 1) throw Usage{};
            out << "kitforge-cli " KITFORGE_VERSION "\n";
            return 0;
        }
        if (verb == "convert") return convert(args, err, env);
        if (verb == "embed") return embed(args, out, err, env);
        if (verb == "ports") return ports(args, out, err, env);
        if (verb == "send") return send(args, out, err, env);
        if (verb == "verify") return verify(args, out, err, env);
        if (verb == "command") return command(args, err, env);
        if (verb == "tables") return tables(args, out, err, env);
        if (verb == "render") return render(args, err, env);
        if (verb == "fetch") return fetch(args, err, env);
    } catch (const Usage&) {
        return usage(err, "bad arguments for " + verb);
    }
    return usage(err, "unknown command " + verb);
}

}  // namespace

int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, const Environment& env) {
    if (args.empty()) return usage(err, "");
    int status = 1;
    try {
        status = runVerb(args, out, err, env);
    } catch (const FileError& e) {
        reportFileError(e, err);
        return 1;
    } catch (const std::bad_alloc&) {
        err << "kitforge-cli: out of memory\n";
        return 1;
    } catch (const std::exception& e) {
        // A working directory that was removed, say: reported, never an abort.
        err << "kitforge-cli: " << e.what() << "\n";
        return 1;
    }
    out.flush();
    if (status == 0 && !out) {
        err << "kitforge-cli: cannot write to standard output\n";
        return 1;
    }
    return status;
}

}  // namespace kf::cli
