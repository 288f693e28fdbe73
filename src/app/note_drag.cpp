#include "app/note_drag.h"

#include <QDataStream>
#include <QIODevice>

namespace kf::ui {

namespace {
// Field by field, so the bytes do not depend on how a compiler lays out the record.
template <typename Entry, typename F>
void eachField(Entry& e, F f) {
    for (auto* field : {&e.used, &e.rxNoteOff, &e.rxNoteOn, &e.playNote, &e.level, &e.pan, &e.reverb, &e.effectSend,
                        &e.assignGroup, &e.effectType, &e.sourceMap, &e.sourceProgram, &e.sourceNote})
        f(*field);
}
constexpr quint32 kMagic = 0x4b464e31;  // "KFN1"
}  // namespace

QByteArray encodeNotes(const std::vector<DrumNoteEntry>& notes) {
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out << kMagic << static_cast<quint32>(notes.size());
    for (const DrumNoteEntry& e : notes) {
        eachField(e, [&](const std::uint8_t& v) { out << static_cast<quint8>(v); });
        out << QByteArray(e.name.data(), static_cast<qsizetype>(e.name.size()));
    }
    return bytes;
}

std::vector<DrumNoteEntry> decodeNotes(const QByteArray& bytes) {
    QDataStream in(bytes);
    quint32 magic = 0, count = 0;
    in >> magic >> count;
    if (magic != kMagic || count == 0 || count > static_cast<quint32>(kNoteCount)) return {};
    std::vector<DrumNoteEntry> notes(count);
    for (DrumNoteEntry& e : notes) {
        eachField(e, [&](std::uint8_t& v) {
            quint8 byte = 0;
            in >> byte;
            v = static_cast<std::uint8_t>(clampMidi(byte));
        });
        QByteArray name;
        in >> name;
        e.name = name.toStdString();
    }
    if (in.status() != QDataStream::Ok) return {};
    return notes;
}

}  // namespace kf::ui
