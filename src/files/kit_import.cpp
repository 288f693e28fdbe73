#include "files/kit_import.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>

#include "files/fields.h"
#include "files/reference_tables.h"
#include "files/smf_reader.h"
#include "gs/dt1.h"
#include "midi/midi_backend.h"
#include "midi/midi_bytes.h"
#include "model/parameters.h"
#include "model/sjis.h"

namespace kf {

namespace {

constexpr std::size_t kNameBytes = 12;
constexpr std::size_t kInstrumentNameBytes = 20;

// Applies user drum DT1 messages to a Kit, remembering what the end of the import needs.
class Collector {
public:
    explicit Collector(Kit& kit) : kit_(kit) {
        kit_.reset();
        for (int s = 0; s < kSetCount; ++s) {
            const std::string& n = kit_.setName(s + 1);
            name_[s].fill(' ');
            std::copy_n(n.begin(), std::min(n.size(), kNameBytes), name_[s].begin());
        }
    }

    // A complete F0 .. F7 message.
    void message(const std::uint8_t* m, std::size_t n) {
        const std::optional<std::string> text = std::move(pendingText_);
        pendingText_.reset();
        bool any = false;
        const Dt1Status status = forEachDt1Byte(m, n, [&](unsigned address, std::uint8_t value) {
            if (const auto at = userDrumAt(address)) any = apply(*at, value, text) || any;
        });
        if (status == Dt1Status::BadChecksum) ++summary.badChecksum;
        if (any) ++summary.taken;
        else ++summary.skipped;
    }

    void other() {
        pendingText_.reset();
        ++summary.skipped;
    }
    // A text our exports write before a note's messages (the SMF text event). Kept no longer
    // than a name may be: one text may name all 256 notes.
    void text(std::string_view t) { pendingText_ = sjis::cut(std::string(t.substr(0, kInstrumentNameBytes + 1)), kInstrumentNameBytes); }
    // A name the text export's comment gives: set 1..2, note -1 for the set's own name.
    void commentName(int set, int note, std::string_view name) {
        if (note < 0) setComment_[set - 1] = std::string(name);
        else noteComment_[set - 1][static_cast<size_t>(note)] = std::string(name);
    }

    ImportSummary finish(const ReferenceTables* tables) {
        for (int s = 1; s <= kSetCount; ++s) {
            if (nameFound_[s - 1]) {
                std::string name(name_[s - 1].begin(), name_[s - 1].end());
                name.erase(name.find_last_not_of(' ') + 1);
                kit_.setSetName(s, name);
                ++summary.names;
            } else if (setComment_[s - 1]) {
                kit_.setSetName(s, sjis::cut(*setComment_[s - 1], kNameBytes));
                ++summary.names;
            }
            for (int note = 0; note < kNoteCount; ++note) {
                DrumNoteEntry& e = kit_.entry(s, note);
                if (!e.used) continue;
                ++summary.notes[s - 1];
                // Chorus and delay share one send on the panel: the larger wins, delay only
                // when strictly larger.
                const auto& fx = effects_[s - 1][static_cast<size_t>(note)];
                e.effectSend = std::max(fx[0], fx[1]);
                e.effectType = fx[1] > fx[0] ? 1 : 0;
                if (auto& c = noteComment_[s - 1][static_cast<size_t>(note)]) e.name = *c;
                else if (!named_[s - 1][static_cast<size_t>(note)]) e.name = tableName(tables, e);
                e.name = sjis::cut(e.name, kInstrumentNameBytes);
            }
        }
        return summary;
    }

    ImportSummary summary;

private:
    bool apply(const UserDrumAddress& at, std::uint8_t value, const std::optional<std::string>& text) {
        const int set = at.set, p = at.parameter;
        const auto a3 = static_cast<size_t>(at.index);
        if (p == 0) {
            name_[set - 1][a3] = static_cast<char>(value);
            nameFound_[set - 1] = true;
            return true;
        }
        DrumNoteEntry& e = kit_.entry(set, static_cast<int>(a3));
        if (!e.used && text && !named_[set - 1][a3]) {
            e.name = *text;
            named_[set - 1][a3] = true;
        }
        e.used = 1;
        const std::uint8_t v = value;
        // The two sends share one field: which of them the note keeps is settled at the end.
        if (p == kChorus) effects_[set - 1][a3][0] = v;
        else if (p == kDelay) effects_[set - 1][a3][1] = v;
        else setParameterValue(e, p, v);
        return true;
    }

    static std::string tableName(const ReferenceTables* tables, const DrumNoteEntry& e) {
        if (!tables) return {};
        for (const PresetDrumSet& s : tables->sets)
            if (s.hasInstruments && s.map == e.sourceMap && s.program == e.sourceProgram) {
                const DrumInstrument& inst = s.instruments[e.sourceNote & 0x7F];
                return inst.used ? inst.name : std::string();
            }
        return {};
    }

    Kit& kit_;
    std::array<std::array<char, kNameBytes>, kSetCount> name_{};
    bool nameFound_[kSetCount] = {false, false};
    std::optional<std::string> setComment_[kSetCount];
    std::array<std::array<std::optional<std::string>, kNoteCount>, kSetCount> noteComment_;
    std::array<std::array<bool, kNoteCount>, kSetCount> named_{};
    std::array<std::array<std::array<std::uint8_t, 2>, kNoteCount>, kSetCount> effects_{};
    std::optional<std::string> pendingText_;  // a text event directly before the next message
};

// Bytes read with their bounds always checked.
class Cursor {
public:
    Cursor(const std::uint8_t* begin, const std::uint8_t* end) : p_(begin), end_(end) {}
    bool atEnd() const { return p_ >= end_; }
    std::size_t left() const { return static_cast<std::size_t>(end_ - p_); }
    const std::uint8_t* here() const { return p_; }
    bool byte(std::uint8_t* b) {
        if (atEnd()) return false;
        *b = *p_++;
        return true;
    }
    bool peek(std::uint8_t* b) const {
        if (atEnd()) return false;
        *b = *p_;
        return true;
    }
    // A variable-length quantity of at most four bytes.
    bool quantity(std::uint32_t* v) {
        *v = 0;
        for (int i = 0; i < 4; ++i) {
            std::uint8_t b;
            if (!byte(&b)) return false;
            *v = (*v << 7) | (b & 0x7F);
            if (!(b & 0x80)) return true;
        }
        return false;
    }
    bool skip(std::size_t n) {
        if (n > left()) return false;
        p_ += n;
        return true;
    }

private:
    const std::uint8_t* p_;
    const std::uint8_t* end_;
};

std::uint32_t be32(const std::uint8_t* p) {
    return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) | p[3];
}

// One track's events; false where it stops being sound.
bool readTrack(Cursor c, Collector& out, std::string* damage) {
    std::uint8_t running = 0;
    std::string sysex;  // a message split into an F0 packet and F7 continuations
    bool inSysex = false;
    while (!c.atEnd()) {
        std::uint32_t delta;
        if (!c.quantity(&delta)) return *damage = "an event time runs past the track", false;
        std::uint8_t status;
        if (!c.peek(&status)) return *damage = "a track ends inside an event", false;
        if (status == midi::kMetaEvent) {
            c.byte(&status);
            std::uint8_t type;
            std::uint32_t length;
            if (!c.byte(&type) || !c.quantity(&length) || length > c.left())
                return *damage = "a meta event runs past the track", false;
            const auto* data = c.here();
            c.skip(length);
            running = 0;
            if (type == midi::kMetaEndOfTrack) return true;
            if (type == midi::kMetaText) out.text(std::string_view(reinterpret_cast<const char*>(data), length));
            continue;  // other meta events (names, tempo) carry no message
        }
        if (status == midi::kSysEx || status == midi::kEndOfSysEx) {
            c.byte(&status);
            std::uint32_t length;
            if (!c.quantity(&length) || length > c.left()) return *damage = "a SysEx event runs past the track", false;
            const auto* data = c.here();
            c.skip(length);
            if (status == midi::kSysEx) {
                if (inSysex) out.other();  // an unfinished message, given up
                sysex.assign(1, '\xF0');
                inSysex = true;
            } else if (!inSysex) {
                out.other();  // an escape: raw bytes, no message of ours
                continue;
            }
            sysex.append(reinterpret_cast<const char*>(data), length);
            if (!sysex.empty() && static_cast<std::uint8_t>(sysex.back()) == midi::kEndOfSysEx) {
                out.message(reinterpret_cast<const std::uint8_t*>(sysex.data()), sysex.size());
                inSysex = false;
                sysex.clear();
            }
            running = 0;
            continue;
        }
        if (midi::isStatus(status)) {
            if (!midi::isChannelStatus(status)) return *damage = "an event of no kind a MIDI file holds", false;
            c.byte(&status);
            running = status;
        } else if (!running) {
            return *damage = "a data byte with no status before it", false;
        }
        const int dataBytes = midi::channelDataBytes(running);
        if (!c.skip(static_cast<std::size_t>(dataBytes))) return *damage = "a track ends inside an event", false;
        out.other();
    }
    if (inSysex) out.other();
    return true;
}

void readMidiFile(std::string_view bytes, Collector& out, std::string* damage) {
    const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
    Cursor c(data, data + bytes.size());
    bool header = true;
    while (c.left() >= 8) {
        const std::uint8_t* head = c.here();
        const std::uint32_t length = be32(head + 4);
        c.skip(8);
        const bool cut = length > c.left();
        const std::size_t have = cut ? c.left() : length;
        if (header) header = false;  // MThd: format, track count and division do not matter here
        else if (std::equal(head, head + 4, "MTrk")) {
            std::string trackDamage;
            if (!readTrack(Cursor(c.here(), c.here() + have), out, &trackDamage) && damage->empty())
                *damage = trackDamage;
        }
        c.skip(have);
        if (cut) {
            if (damage->empty()) *damage = "a chunk runs past the end of the file";
            return;
        }
    }
    if (!c.atEnd() && damage->empty()) *damage = "the file ends inside a chunk header";
}

void readSysexDump(std::string_view bytes, Collector& out) {
    size_t pos = bytes.find('\xF0');
    // Each search starts where the last one of its kind stopped, so every byte is looked at a
    // bounded number of times: a run of F0s before a far F7 takes no longer than its length.
    size_t end = 0;
    while (pos != std::string_view::npos) {
        if (end <= pos) end = bytes.find('\xF7', pos + 1);
        if (end == std::string_view::npos) {
            out.other();
            return;
        }
        // A new F0 before the F7 ends an unfinished message: it is skipped.
        const size_t restart = bytes.find('\xF0', pos + 1);
        if (restart < end) {
            out.other();
            pos = restart;
            continue;
        }
        out.message(reinterpret_cast<const std::uint8_t*>(bytes.data() + pos), end - pos + 1);
        pos = bytes.find('\xF0', end + 1);
    }
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// A line of byte pairs separated by blanks, or nothing.
std::optional<MidiBytes> hexLine(std::string_view line) {
    MidiBytes m;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
        if (i == line.size()) break;
        if (i + 1 >= line.size()) return std::nullopt;
        const int hi = hexDigit(line[i]), lo = hexDigit(line[i + 1]);
        if (hi < 0 || lo < 0) return std::nullopt;
        if (i + 2 < line.size() && line[i + 2] != ' ' && line[i + 2] != '\t') return std::nullopt;
        m.push_back(static_cast<std::uint8_t>(hi * 16 + lo));
        i += 2;
    }
    if (m.empty()) return std::nullopt;
    return m;
}

bool looksLikeHexText(std::string_view bytes) {
    LineReader lines(bytes);
    std::string_view line;
    while (lines.next(line)) {
        const auto m = hexLine(line);
        if (m && m->front() == midi::kSysEx) return true;
    }
    return false;
}

void readHexText(std::string_view bytes, Collector& out) {
    LineReader lines(bytes);
    std::string_view line;
    while (lines.next(line)) {
        if (!line.empty() && line[0] == '@') {
            // "@NAME,s,name" and "@s,n,name": the rest of the line is the name, commas and all.
            const std::string first = sjis::upper(field(line, 1));
            const auto setIndex = parseInteger(field(line, 2));
            if (first == "@NAME" && setIndex && (*setIndex == 0 || *setIndex == 1)) {
                out.commentName(*setIndex + 1, -1, restFrom(line, 3));
            } else if (const auto s = parseInteger(first.substr(1))) {
                const auto note = parseInteger(field(line, 2));
                if ((*s == 0 || *s == 1) && note && *note >= 0 && *note < kNoteCount)
                    out.commentName(*s + 1, *note, restFrom(line, 3));
            }
            continue;
        }
        const auto m = hexLine(line);
        if (!m) continue;
        if (m->front() == midi::kSysEx) out.message(m->data(), m->size());
        else out.other();
    }
}

}  // namespace

ImportSummary ImportKit(std::string_view bytes, Kit& kit, const ReferenceTables* tables) {
    Collector out(kit);
    std::string damage;
    ImportSummary::Kind kind = ImportSummary::Unknown;
    // Windows keeps MIDI files in a RIFF form too: the song is its data chunk.
    if (isRmid(bytes)) {
        try {
            const RmidFile rmid = readRmid(bytes);
            bytes = bytes.substr(rmid.dataOffset, rmid.dataLength);
        } catch (const SmfError&) {
            // Not sound as RIFF: read as what the bytes look like.
        }
    }
    if (bytes.size() >= 4 && bytes.substr(0, 4) == "MThd") {
        kind = ImportSummary::StandardMidiFile;
        readMidiFile(bytes, out, &damage);
    } else if (looksLikeHexText(bytes)) {
        kind = ImportSummary::HexText;
        readHexText(bytes, out);
    } else if (bytes.find('\xF0') != std::string_view::npos) {
        kind = ImportSummary::SysexDump;
        readSysexDump(bytes, out);
    }
    ImportSummary s = out.finish(tables);
    s.kind = kind;
    s.damage = damage;
    return s;
}

std::string describeImport(const ImportSummary& s) {
    static const char* const kinds[] = {"Standard MIDI File", "SysEx dump", "hex text", "no MIDI data"};
    std::string d = std::string(kinds[s.kind]) + ": " + std::to_string(s.notes[0]) + " note(s) in set 1, " +
                    std::to_string(s.notes[1]) + " in set 2, " + std::to_string(s.names) + " name(s); " +
                    std::to_string(s.taken) + " message(s) taken, " + std::to_string(s.skipped) + " skipped (" +
                    std::to_string(s.badChecksum) + " with a bad checksum)";
    if (!s.damage.empty()) d += "; read as far as it is sound: " + s.damage;
    return d;
}

}  // namespace kf
