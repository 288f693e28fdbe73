#include "editor/document.h"

#include <algorithm>
#include <utility>

#include "model/parameters.h"

namespace kf::ui {

bool Document::canPaste() const {
    return std::any_of(clipboard_.begin(), clipboard_.end(), [](const DrumNoteEntry& e) { return e.used != 0; });
}

void Document::setFile(const QString& folder, const QString& name) {
    folder_ = folder;
    name_ = name;
    named_ = true;
}

void Document::setUntitled() {
    name_ = QStringLiteral("無題");
    named_ = false;
}

void Document::reset() {
    kit_.reset();
    undoAvailable_ = false;
    modified_ = false;
}

void Document::replace(Kit kit) {
    kit_ = std::move(kit);
    undoAvailable_ = false;
}

bool Document::setParameter(int set, int note, int row, int value) {
    std::uint8_t& field = fieldOfRow(kit_.entry(set, note), row);
    if (field == value) return false;
    field = static_cast<std::uint8_t>(value);
    modified_ = true;
    return true;
}

bool Document::setField(int set, int note, std::uint8_t DrumInstrument::*field, int value) {
    DrumNoteEntry& entry = kit_.entry(set, note);
    if (entry.*field == value) return false;
    entry.*field = static_cast<std::uint8_t>(value);
    modified_ = true;
    return true;
}

void Document::renameInstrument(int set, int note, const std::string& name) {
    kit_.entry(set, note).name = name;
    modified_ = true;
}

bool Document::renameSet(int set, const std::string& name) {
    if (name == kit_.setName(set)) return false;
    kit_.setSetName(set, name);
    modified_ = true;
    return true;
}

void Document::enterInstrument(int set, int note, const PresetDrumSet& preset, int k) {
    recordUndo(set, note);
    DrumNoteEntry& entry = kit_.entry(set, note);
    entry.assignInstrument(preset.instruments[static_cast<size_t>(k)]);
    entry.sourceMap = static_cast<std::uint8_t>(preset.map);
    entry.sourceProgram = static_cast<std::uint8_t>(preset.program);
    entry.sourceNote = static_cast<std::uint8_t>(k);
    modified_ = true;
}

void Document::cut(int set, int note) {
    recordUndo(set, note);
    clipboard_.assign(1, kit_.entry(set, note));
    kit_.entry(set, note) = blankEntry();
    modified_ = true;
}

int Document::paste(int set, int note, const std::vector<DrumNoteEntry>& notes) {
    const int count = std::min(static_cast<int>(notes.size()), kNoteCount - note);
    if (count <= 0) return 0;
    recordUndo(set, note, count);
    for (int i = 0; i < count; ++i) kit_.entry(set, note + i) = notes[static_cast<size_t>(i)];
    modified_ = true;
    return count;
}

void Document::erase(int set, int note) {
    recordUndo(set, note);
    kit_.entry(set, note) = blankEntry();
    modified_ = true;
}

void Document::recordUndo(int set, int note, int count) {
    undoEntries_.clear();
    for (int i = 0; i < count; ++i) undoEntries_.push_back(kit_.entry(set, note + i));
    undoSet_ = set;
    undoNote_ = note;
    undoAvailable_ = true;
}

Document::Run Document::undo() {
    const int count = static_cast<int>(undoEntries_.size());
    for (int i = 0; i < count; ++i) std::swap(kit_.entry(undoSet_, undoNote_ + i), undoEntries_[static_cast<size_t>(i)]);
    modified_ = true;
    return {undoSet_, undoNote_, count};
}

}  // namespace kf::ui
