#include "editor/midi_texts.h"

namespace kf::ui {

QString openFailureLines(MidiError::Kind kind) {
    // Only a port in use is the user's to wait for; the other causes ask something else of them.
    switch (kind) {
        case MidiError::NoMidiSystem:
            return QStringLiteral("MIDIｼｽﾃﾑが見つかりません。\r\nMIDIｼｽﾃﾑを用意してから、やり直してください。");
        case MidiError::NoSuchPort:
            return QStringLiteral("指定したMIDIﾃﾞﾊﾞｲｽが見つかりません。\r\nｵﾌﾟｼｮﾝでMIDIﾃﾞﾊﾞｲｽを選び直してください。");
        case MidiError::ServerGone:
        case MidiError::Stalled:
            return QStringLiteral("MIDIｻｰﾊﾞｰが応答しません。\r\nｻｰﾊﾞｰが動いているか確かめてから、やり直してください。");
        default:
            return QStringLiteral("指定したMIDIﾃﾞﾊﾞｲｽはすでに使われています。\r\n解放されるまで待ってから、やり直してください。");
    }
}

QString openFailureText(const MidiError& error) {
    QString kind;
    switch (error.kind) {
        case MidiError::NoMidiSystem: kind = QStringLiteral("MIDIｼｽﾃﾑがありません"); break;
        case MidiError::NoSuchPort: kind = QStringLiteral("そのMIDIﾎﾟｰﾄはありません"); break;
        case MidiError::PortBusy: kind = QStringLiteral("MIDIﾎﾟｰﾄは使用中です"); break;
        case MidiError::ServerGone:
        case MidiError::Stalled: kind = QStringLiteral("MIDIｻｰﾊﾞｰが応答しません"); break;
        default: break;
    }
    const QString text = QString::fromStdString(error.text);
    if (kind.isEmpty()) return text;
    return text.isEmpty() ? kind : kind + ": " + text;
}

}  // namespace kf::ui
