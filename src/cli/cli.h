// kitforge-cli: conversions and sends on the same core as the editor, for scripts.
#pragma once

#include <functional>
#include <iosfwd>
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

extern const char* const kUsage;

}  // namespace kf::cli
