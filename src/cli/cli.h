// kitforge-cli: conversions and sends on the same core as the editor, for scripts.
#pragma once

#include <cstdio>
#include <exception>
#include <iosfwd>
#include <new>
#include <memory>
#include <string>
#include <vector>

#include "files/disk.h"
#include "midi/midi_backend.h"
#include "midi/midi_in.h"
#include "midi/sender_clock.h"

namespace kf::cli {

struct Environment {
    std::function<std::unique_ptr<MidiBackend>()> makeBackend;
    std::function<std::unique_ptr<MidiInBackend>()> makeInput;  // none: no MIDI input
    std::vector<std::string> tableDirs;  // where the reference tables are looked for
    std::shared_ptr<SenderClock> clock;  // the sender's time; the real one when empty
    bool progressOnErr = false;          // err is a terminal: show a progress line
    DiskCalls disk = systemDiskCalls();  // what reads and writes files
};

// Exit status: 0 success, 1 failure (message on err), 2 bad arguments (usage on err).
int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, const Environment& env);

// The program's entry on every platform: whatever fails before the command runs (no memory
// for the arguments, say) is a failure with a message on stderr, never an abort. A template,
// so that nothing is allocated before the guard stands.
template <typename Entry>
int runGuarded(Entry entry) {
    try {
        return entry();
    } catch (const std::bad_alloc&) {
        std::fputs("kitforge-cli: out of memory\n", stderr);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "kitforge-cli: %s\n", e.what());
    } catch (...) {
        std::fputs("kitforge-cli: internal error\n", stderr);
    }
    return 1;
}

extern const char* const kUsage;

}  // namespace kf::cli
