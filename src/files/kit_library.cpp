#include "files/kit_library.h"

#include <algorithm>
#include <exception>

#include "files/kit_file.h"
#include "files/kit_import.h"
#include "gs/device_commands.h"
#include "gs/sysex.h"
#include "model/preset_sets.h"
#include "model/sjis.h"

namespace kf {

namespace {

constexpr int key(int map, int program, int note) { return (map & 0xFF) << 14 | (program & 0x7F) << 7 | (note & 0x7F); }

char lowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string lowerExtension(std::string_view fileName) {
    const size_t dot = fileName.rfind('.');
    if (dot == std::string_view::npos) return {};
    std::string ext(fileName.substr(dot));
    for (char& c : ext) c = lowerAscii(c);
    return ext;
}

bool equalFolded(const char* a, const std::string& folded) {
    for (size_t i = 0; i < folded.size(); ++i)
        if (lowerAscii(a[i]) != folded[i]) return false;
    return true;
}

// UTF-8 needs no care for boundaries: no byte of a longer character is an ASCII byte.
bool containsUtf8(const std::string& text, const std::string& folded) {
    if (folded.size() > text.size()) return false;
    for (size_t i = 0; i + folded.size() <= text.size(); ++i)
        if (equalFolded(text.data() + i, folded)) return true;
    return false;
}

// A second byte of a two-byte character can be an ASCII letter: only character starts are tried,
// and only single-byte characters are folded.
std::string foldSjis(std::string_view s) {
    std::string out(s);
    for (size_t i = 0; i < out.size(); ++i) {
        if (sjis::isLeadByte(static_cast<unsigned char>(out[i]))) ++i;
        else out[i] = lowerAscii(out[i]);
    }
    return out;
}

bool equalFoldedSjis(const char* a, const std::string& folded) {
    for (size_t i = 0; i < folded.size(); ++i) {
        if (sjis::isLeadByte(static_cast<unsigned char>(folded[i]))) {
            if (a[i] != folded[i] || (i + 1 < folded.size() && a[i + 1] != folded[i + 1])) return false;
            ++i;
        } else if (lowerAscii(a[i]) != folded[i]) {
            return false;
        }
    }
    return true;
}

bool containsSjis(std::string_view text, const std::string& folded) {
    if (folded.size() > text.size()) return false;
    for (size_t i = 0; i + folded.size() <= text.size();
         i += sjis::isLeadByte(static_cast<unsigned char>(text[i])) ? 2 : 1)
        if (equalFoldedSjis(text.data() + i, folded)) return true;
    return false;
}

const char* const kUnreadableText = "ﾌｧｲﾙを読めません";
const char* const kNoUserSetText = "ﾕｰｻﾞｰﾄﾞﾗﾑｾｯﾄのﾃﾞｰﾀがありません";

}  // namespace

InstrumentNames::InstrumentNames(const ReferenceTables& tables) {
    for (const PresetDrumSet& s : tables.sets) {
        if (!s.hasInstruments) continue;
        for (int n = 0; n < kNoteCount; ++n) {
            const DrumInstrument& inst = s.instruments[static_cast<size_t>(n)];
            // The first set of a map and program wins, as the importer takes it.
            if (inst.used && !inst.name.empty()) names_.emplace(key(s.map, s.program, n), inst.name);
        }
    }
}

std::string_view InstrumentNames::name(int map, int program, int note) const {
    const auto it = names_.find(key(map, program, note));
    return it == names_.end() ? std::string_view() : std::string_view(it->second);
}

bool isLibraryFile(std::string_view fileName) {
    const std::string ext = lowerExtension(fileName);
    return ext == ".kfg" || ext == ".mid" || ext == ".midi" || ext == ".syx" || ext == ".txt";
}

std::string readKitOfAnyKind(std::string_view fileName, std::string_view bytes, Kit& kit) {
    kit.reset();
    if (lowerExtension(fileName) == ".kfg") {
        const KitReadResult r = ReadKitFile(bytes, kit);
        if (r.status == KitReadResult::Read) return {};
        return r.status == KitReadResult::RefusedVersion ? kRefusedVersionText : kNotKitFileText;
    }
    if (!ImportKit(bytes, kit).usable()) return kNoUserSetText;
    return {};
}

LibraryEntry summarizeKit(const std::string& path, const std::string& fileName, long long modified,
                          std::string_view bytes, const InstrumentNames& names) {
    LibraryEntry row;
    row.path = path;
    row.fileName = fileName;
    row.modified = modified;
    Kit kit;
    try {
        row.error = readKitOfAnyKind(fileName, bytes, kit);
    } catch (const std::exception&) {
        row.error = kUnreadableText;  // no memory for it: the listing goes on
    }
    if (!row.readable()) return row;
    std::vector<std::string_view> found;
    for (int set = 1; set <= kSetCount; ++set) {
        row.setNames[set - 1] = kit.setName(set);
        for (int note = 0; note < kNoteCount; ++note) {
            const DrumNoteEntry& e = kit.entry(set, note);
            if (!e.used) continue;
            ++row.notes[set - 1];
            const std::string_view preset = names.name(e.sourceMap, e.sourceProgram, e.sourceNote);
            if (!preset.empty()) found.push_back(preset);
            const std::string_view own = sjis::trim(e.name);
            if (!own.empty() && own != preset) found.push_back(own);
        }
    }
    std::sort(found.begin(), found.end());
    found.erase(std::unique(found.begin(), found.end()), found.end());
    size_t length = 0;
    for (std::string_view n : found) length += n.size() + 1;
    row.instruments.reserve(length);
    for (std::string_view n : found) row.instruments.append(n).push_back('\n');
    return row;
}

LibraryEntry indexKitFile(const std::string& path, const std::string& fileName, long long modified,
                          const InstrumentNames& names, const DiskCalls& disk) {
    std::string bytes;
    try {
        bytes = readFileBytes(path, disk);
    } catch (const std::exception&) {
        LibraryEntry row;
        row.path = path;
        row.fileName = fileName;
        row.modified = modified;
        row.error = kUnreadableText;
        return row;
    }
    return summarizeKit(path, fileName, modified, bytes, names);
}

namespace {

struct FoldedQuery {
    std::string fileName, names;
    explicit FoldedQuery(const LibraryQuery& q) : fileName(q.fileName), names(foldSjis(q.names)) {
        for (char& c : fileName) c = lowerAscii(c);
    }
};

bool matchesFolded(const LibraryEntry& entry, const FoldedQuery& query) {
    if (query.fileName.empty() && query.names.empty()) return true;
    if (!query.fileName.empty() && containsUtf8(entry.fileName, query.fileName)) return true;
    if (query.names.empty()) return false;
    for (const std::string& name : entry.setNames)
        if (containsSjis(name, query.names)) return true;
    // Each name is searched alone: a match never runs from one name into the next.
    const std::string_view all(entry.instruments);
    for (size_t at = 0; at < all.size();) {
        const size_t end = std::min(all.find('\n', at), all.size());
        if (containsSjis(all.substr(at, end - at), query.names)) return true;
        at = end + 1;
    }
    return false;
}

}  // namespace

bool libraryMatches(const LibraryEntry& entry, const LibraryQuery& query) {
    return matchesFolded(entry, FoldedQuery(query));
}

std::vector<int> searchLibrary(const std::vector<LibraryEntry>& rows, const LibraryQuery& query) {
    const FoldedQuery folded(query);
    std::vector<int> shown;
    shown.reserve(rows.size());
    for (size_t i = 0; i < rows.size(); ++i)
        if (matchesFolded(rows[i], folded)) shown.push_back(static_cast<int>(i));
    return shown;
}

std::vector<MidiBytes> kitLoadMessages(const Kit& kit) {
    std::vector<MidiBytes> messages{rhythmPart11Message()};
    for (int set = 1; set <= kSetCount; ++set)
        for (MidiBytes& m : setTransferMessages(kit, set)) messages.push_back(std::move(m));
    return messages;
}

std::vector<std::pair<int, int>> usedNotes(const Kit& kit) {
    std::vector<std::pair<int, int>> notes;
    for (int set = 1; set <= kSetCount; ++set)
        for (int note = 0; note < kNoteCount; ++note)
            if (kit.entry(set, note).used) notes.emplace_back(set, note);
    return notes;
}

}  // namespace kf
