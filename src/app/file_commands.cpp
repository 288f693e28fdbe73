#include "app/file_commands.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMainWindow>
#include <QFormLayout>
#include <QLabel>
#include <QMenu>
#include <QSpinBox>
#include <QStyle>
#include <QVBoxLayout>
#include <algorithm>
#include <new>

#include "app/actions.h"
#include "app/dialogs.h"
#include "editor/midi_texts.h"
#include "editor/text.h"
#include "files/disk.h"
#include "files/exports.h"
#include "files/kit_file.h"
#include "files/kit_import.h"
#include "files/song_embed.h"

namespace kf::ui {

namespace {

// The notes a fetch could not finish: a few by name, the rest as a count.
QString incompleteText(const FetchSummary& summary) {
    constexpr int kShown = 5;
    const int count = static_cast<int>(summary.incomplete.size());
    QString text = QStringLiteral("読み込めなかった音色: %1").arg(count);
    for (int i = 0; i < std::min(count, kShown); ++i)
        text += QStringLiteral("\r\nｾｯﾄ%1 ﾉｰﾄ%2").arg(summary.incomplete[i].set).arg(summary.incomplete[i].note);
    if (count > kShown) text += QStringLiteral("\r\n… ほか %1 音色").arg(count - kShown);
    return text;
}

// Types 1 to 4 are the settings' FileType; the SysEx dump comes after them, so a filter's
// index stays its FileType less one, and a save of it leaves FileType as it was.
constexpr int kSysexType = 5;
const char* const kExtensions[] = {".KFG", ".MID", ".PRT", ".TXT", ".SYX"};
const char* const kFilters[] = {"Kitforge 1.0 (*.kfg)", "ｽﾀﾝﾀﾞｰﾄﾞMIDIﾌｧｲﾙ(*.mid)", "ﾚｺﾝﾎﾟｰｻﾞPRT形式(*.prt)",
                                "ﾃｷｽﾄ文書 (*.txt)", "SysEx ﾌｧｲﾙ (*.syx)"};

int typeOfExtension(const QString& upper) {
    for (int i = 0; i < kSysexType; ++i)
        if (upper == kExtensions[i]) return i + 1;
    return 0;
}

// The core takes paths in UTF-8 on every system (on Windows it speaks UTF-16 to the system
// itself): never the ANSI code page, which has no room for most names.
std::string localPath(const QString& path) { return path.toStdString(); }

// A file that cannot be read or written, or no memory for it, is the file's fault and the
// box says no more, unless the save was refused to keep the file whole; anything else is a fault of the program and the box names it, so it is
// not taken for a bad file.
QString reasonLine(const std::exception& e) {
    if (const auto* f = dynamic_cast<const FileError*>(&e); f && f->detail() == kShorterInPlace)
        return QStringLiteral("\r\n(ﾌｫﾙﾀﾞに新しいﾌｧｲﾙを作れず、短くなる上書きはﾌｧｲﾙを壊すおそれがあります。"
                              "別の場所に保存してください。)");
    if (dynamic_cast<const FileError*>(&e) || dynamic_cast<const std::bad_alloc*>(&e)) return {};
    return QStringLiteral("\r\n(内部ｴﾗｰ: %1)").arg(QString::fromLocal8Bit(e.what()));
}


// The embed's choices: the gap, and what to do with a reset or user drum sets the song lacks or has.
bool askEmbedOptions(QWidget* window, const EmbedReport& song, EmbedOptions& options) {
    QDialog dialog(window);
    dialog.setObjectName("EmbedDialog");
    dialog.setWindowTitle(QStringLiteral("曲に埋め込む"));
    auto* gap = new QSpinBox(&dialog);
    gap->setObjectName("EmbedGap");
    gap->setRange(0, kMaxEmbedGapMs);
    gap->setSuffix(QStringLiteral(" ms"));
    gap->setValue(options.gapMs);
    auto* reset = new QCheckBox(QStringLiteral("曲の先頭にGSﾘｾｯﾄを加える(&R)"), &dialog);
    reset->setObjectName("EmbedReset");
    // A song's own reset is always followed; one is added only to a song without.
    reset->setEnabled(song.reset == EmbedReport::None);
    auto* keep = new QCheckBox(QStringLiteral("曲にあるﾕｰｻﾞｰﾄﾞﾗﾑｾｯﾄのﾒｯｾｰｼﾞ (%1) を残す(&K)").arg(song.userDrumFound), &dialog);
    keep->setObjectName("EmbedKeep");
    keep->setEnabled(song.userDrumFound > 0);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    auto* form = new QFormLayout;
    auto* label = new QLabel(QStringLiteral("ﾒｯｾｰｼﾞの間隔(&G):"), &dialog);
    label->setBuddy(gap);
    form->addRow(label, gap);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addLayout(form);
    layout->addWidget(reset);
    layout->addWidget(keep);
    layout->addWidget(buttons);
    gap->setFocus();
    gap->selectAll();
    if (dialog.exec() != QDialog::Accepted) return false;
    options.gapMs = gap->value();
    options.addReset = reset->isEnabled() && reset->isChecked();
    options.keepUserDrum = keep->isEnabled() && keep->isChecked();
    return true;
}

QString resetText(EmbedReport::Reset reset) {
    switch (reset) {
        case EmbedReport::GsReset: return QStringLiteral("GSﾘｾｯﾄ");
        case EmbedReport::GmSystemOn: return QStringLiteral("GMｼｽﾃﾑｵﾝ");
        case EmbedReport::Gm2SystemOn: return QStringLiteral("GM2ｼｽﾃﾑｵﾝ");
        case EmbedReport::SystemMode: return QStringLiteral("ｼｽﾃﾑﾓｰﾄﾞ設定");
        case EmbedReport::AllPartsMap: return QStringLiteral("全ﾊﾟｰﾄのﾏｯﾌﾟ設定");
        default: return {};
    }
}

QString embedReportText(const EmbedReport& r, const QString& written) {
    auto ms = [](double v) { return QString::number(v, 'f', 1); };
    auto place = [&](const SongPlace& p) {
        return QStringLiteral("%1 小節目 %2 ms").arg(p.measure).arg(ms(p.ms));
    };
    QString text = QStringLiteral("%1 に書き込みました。\r\n追加したﾒｯｾｰｼﾞ: %2 (ﾄﾗｯｸ %3)\r\n位置: %4 から %5")
                       .arg(QFileInfo(written).fileName())
                       .arg(r.messages)
                       .arg(r.track + 1)
                       .arg(place(r.first), place(r.last));
    if (r.resetAdded) text += QStringLiteral("\r\n先頭に加えたGSﾘｾｯﾄの %1 ms 後から").arg(ms(r.resetGapMs));
    else if (r.reset != EmbedReport::None)
        text += QStringLiteral("\r\n%1 (%2) の %3 ms 後から").arg(resetText(r.reset), place(r.resetAt), ms(r.resetGapMs));
    else text += QStringLiteral("\r\n曲にGSﾘｾｯﾄがありません。");
    if (r.smallestGapMs >= 0) text += QStringLiteral("\r\nﾒｯｾｰｼﾞの間隔: %1 ms 以上").arg(QString::number(r.smallestGapMs, 'f', 2));
    if (r.movedTicks)
        text += QStringLiteral("\r\n曲を %1 小節 (%2 ms) 後ろへずらしました。").arg(r.movedMeasures).arg(ms(r.movedMs));
    else text += QStringLiteral("\r\n曲は元の位置のままです。");
    if (r.userDrumFound)
        text += (r.userDrumKept ? QStringLiteral("\r\n曲にあったﾕｰｻﾞｰﾄﾞﾗﾑｾｯﾄのﾒｯｾｰｼﾞ: %1 (残しました)")
                                : QStringLiteral("\r\n曲にあったﾕｰｻﾞｰﾄﾞﾗﾑｾｯﾄのﾒｯｾｰｼﾞ: %1 (置き換えました)"))
                    .arg(r.userDrumFound);
    text += QStringLiteral("\r\nｾｯﾄｱｯﾌﾟの長さ: %1 秒").arg(QString::number(r.seconds, 'f', 2));
    return text;
}

}  // namespace

FileCommands::FileCommands(EditorController& controller, Dialogs& dialogs, QMainWindow* window)
    : QObject(window), c_(controller), dialogs_(dialogs), window_(window) {
    New1 = makeAction(window, "New1", QStringLiteral("新規作成(&N)"), "ﾌｧｲﾙを新規に作成します。",
                  QKeySequence(Qt::CTRL | Qt::Key_N));
    Open1 = makeAction(window, "Open1", QStringLiteral("開く(&O)..."), "既存のﾌｧｲﾙを開きます。",
                   QKeySequence(Qt::CTRL | Qt::Key_O));
    Save1 = makeAction(window, "Save1", QStringLiteral("上書き保存(&S)"), "作業中のﾌｧｲﾙを保存します。",
                   QKeySequence(Qt::CTRL | Qt::Key_S));
    SaveAs1 = makeAction(window, "SaveAs1", QStringLiteral("名前を付けて保存(&A)..."),
                     "作業中のﾌｧｲﾙを別の名前、ﾌｧｲﾙ形式で保存します。", QKeySequence(Qt::CTRL | Qt::Key_A));
    Import1 = makeAction(window, "Import1", QStringLiteral("ｲﾝﾎﾟｰﾄ(&I)..."),
                         "MIDIﾌｧｲﾙなどからﾕｰｻﾞｰﾄﾞﾗﾑｾｯﾄを読み込みます。|MIDIﾌｧｲﾙ (.mid)・SysExﾌｧｲﾙ (.syx)・ﾃｷｽﾄ (.txt) "
                         "からﾕｰｻﾞｰﾄﾞﾗﾑｾｯﾄを読み込みます。");
    Receive1 = makeAction(window, "Receive1", QStringLiteral("ﾓｼﾞｭｰﾙから読み込み(&R)..."),
                          "ﾓｼﾞｭｰﾙのﾕｰｻﾞｰﾄﾞﾗﾑｾｯﾄを読み込みます。|MIDI入力を使って、ﾓｼﾞｭｰﾙからﾕｰｻﾞｰﾄﾞﾗﾑｾｯﾄを読み込みます。");
    Embed1 = makeAction(window, "Embed1", QStringLiteral("曲に埋め込む..."),
                        "ﾕｰｻﾞｰﾄﾞﾗﾑｾｯﾄを曲のMIDIﾌｧｲﾙに埋め込みます。|ﾕｰｻﾞｰﾄﾞﾗﾑｾｯﾄを曲のMIDIﾌｧｲﾙの先頭 (最初のﾉｰﾄの前) "
                        "に入れ、別のﾌｧｲﾙに保存します。");
    Exit1 = makeAction(window, "Exit1", QStringLiteral("Kitforge の終了(&X)"), "Kitforge を終了します。");
    New2 = makeAction(window, "New2", QStringLiteral("新規作成"), "新規作成|ﾌｧｲﾙを新規に作成します。");
    Open2 = makeAction(window, "Open2", QStringLiteral("開く"), "開く|既存のﾌｧｲﾙを開きます。");
    Save2 = makeAction(window, "Save2", QStringLiteral("保存"), "保存|作業中のﾌｧｲﾙを保存します。");
    New2->setIcon(window->style()->standardIcon(QStyle::SP_FileIcon));
    Open2->setIcon(window->style()->standardIcon(QStyle::SP_DialogOpenButton));
    Save2->setIcon(window->style()->standardIcon(QStyle::SP_DialogSaveButton));
    for (QAction* a : {New1, Open1, Save1, SaveAs1, Exit1}) window->addAction(a);
    for (QAction* a : {New1, New2}) connect(a, &QAction::triggered, this, &FileCommands::New1Click);
    for (QAction* a : {Open1, Open2}) connect(a, &QAction::triggered, this, &FileCommands::Open1Click);
    for (QAction* a : {Save1, Save2}) connect(a, &QAction::triggered, this, &FileCommands::Save1Click);
    connect(SaveAs1, &QAction::triggered, this, &FileCommands::SaveAs1Click);
    connect(Import1, &QAction::triggered, this, &FileCommands::Import1Click);
    connect(Embed1, &QAction::triggered, this, &FileCommands::Embed1Click);
    connect(Receive1, &QAction::triggered, this, &FileCommands::Receive1Click);
}

QMenu* FileCommands::fileMenu(QWidget* parent) {
    auto* m = new QMenu(QStringLiteral("ﾌｧｲﾙ(&F)"), parent);
    m->setObjectName("File1");
    m->setProperty("helpContext", 10);
    m->menuAction()->setStatusTip(QStringLiteral("ﾌｧｲﾙの作成、読み込み、保存などを行います。"));
    m->addActions({New1, Open1, Save1, SaveAs1, Import1, Embed1});
    m->addSeparator();
    m->addAction(Exit1);
    return m;
}

QString FileCommands::extensionOf(const QString& name) {
    const int dot = name.lastIndexOf('.');
    const int slash = std::max(name.lastIndexOf('/'), name.lastIndexOf('\\'));
    return dot > slash ? name.mid(dot).toUpper() : QString();
}

QString FileCommands::replaceExtension(const QString& name, const QString& upperExtension) {
    const int dot = name.lastIndexOf('.');
    const int slash = std::max(name.lastIndexOf('/'), name.lastIndexOf('\\'));
    const bool has = dot > slash;
    const QString current = has ? name.mid(dot + 1) : QString();
    // On a case-sensitive file system 'rock.kfg' must stay 'rock.*' in lower case.
    const bool lower = has && !current.isEmpty() && current == current.toLower() && current != current.toUpper();
    return (has ? name.left(dot) : name) + (lower ? upperExtension.toLower() : upperExtension);
}

void FileCommands::showCaption(const QString& suffix) {
    window_->setWindowTitle(title() + suffix);
    applicationTitle = title();
}

QMessageBox::StandardButton FileCommands::AskSave() {
    return dialogs_.message(window_, QMessageBox::Information, QStringLiteral("Kitforge"),
                              c_.document().name() + QStringLiteral(" は変更されています。保存しますか？"),
                              QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
}

bool FileCommands::mayDiscard(bool saveAs) {
    if (!c_.document().modified()) return true;
    switch (AskSave()) {
        case QMessageBox::Yes:
            if (saveAs) SaveAs1Click();
            else Save1Click();
            // A save that did not happen (cancelled, failed, refused) keeps the work.
            return !c_.document().modified();
        case QMessageBox::No: return true;
        default: return false;
    }
}

void FileCommands::fileError(const QString& text) {
    dialogs_.message(window_, QMessageBox::Critical, QStringLiteral("Kitforge"), text, QMessageBox::Ok);
}

void FileCommands::New1Click() {
    const EditorState& s = c_.state();
    if (s.busy || !mayDiscard(true)) return;
    c_.file().newKit();
    showCaption();
}

void FileCommands::cannotOpen(const QString& path, const std::exception& why) {
    fileError(QString::fromUtf8(formatFileMessage(kCannotOpenText, "%1").c_str()).arg(path) + reasonLine(why));
}

bool FileCommands::readBytes(const QString& path, std::string* bytes) {
    try {
        *bytes = readFileBytes(localPath(path), disk);
        return true;
    } catch (const std::exception& e) {
        cannotOpen(path, e);
        return false;
    }
}

bool FileCommands::readKit(const QString& path, Kit& into) {
    std::string bytes;
    if (!readBytes(path, &bytes)) return false;
    KitReadResult r;
    try {
        r = ReadKitFile(bytes, into, &pumpEvents);
    } catch (const std::exception& e) {
        cannotOpen(path, e);
        return false;
    }
    if (r.status == KitReadResult::Read) return true;
    dialogs_.message(window_, QMessageBox::Warning, QStringLiteral("Kitforge"),
                       QString::fromUtf8(r.status == KitReadResult::RefusedVersion ? kRefusedVersionText
                                                                                   : kNotKitFileText),
                       QMessageBox::Ok);
    return false;
}

QString FileCommands::nameByFileType(const QString& name) const {
    const int type = c_.state().options.fileType;
    return type >= 2 && type <= 4 ? replaceExtension(name, kExtensions[type - 1]) : name;
}

void FileCommands::Open1Click() {
    const EditorState& s = c_.state();
    if (s.busy || !mayDiscard(true)) return;
    const Document& doc = c_.document();
    const QString start = doc.folder().isEmpty() ? saveDialogDirectory : doc.folder();
    const QString path = dialogs_.openFile(window_, QString(), start, replaceExtension(doc.name(), ".KFG"),
                                           QStringLiteral("Kitforge 1.0 (*.kfg)"));
    if (path.isEmpty() || extensionOf(path) != ".KFG") return;
    Kit blank;
    blank.reset();
    loadDocument(path, blank);
}

void FileCommands::Import1Click() {
    const EditorState& s = c_.state();
    if (s.busy || !mayDiscard(true)) return;
    const QString folder = c_.document().folder();
    const QString path = dialogs_.openFile(
        window_, QStringLiteral("ｲﾝﾎﾟｰﾄ"), folder.isEmpty() ? saveDialogDirectory : folder, QString(),
        QStringLiteral("MIDIﾌｧｲﾙ (*.mid *.midi);;SysExﾌｧｲﾙ (*.syx);;ﾃｷｽﾄ (*.txt);;すべてのﾌｧｲﾙ (*)"));
    if (!path.isEmpty()) importFile(path);
}

bool FileCommands::importFile(const QString& path) {
    const EditorState& s = c_.state();
    std::string bytes;
    if (!readBytes(path, &bytes)) return false;
    Kit read;
    ImportSummary found;
    try {
        found = ImportKit(bytes, read, s.tables.empty() ? nullptr : &s.tables);
    } catch (const std::exception& e) {
        cannotOpen(path, e);
        return false;
    }
    const QString caption = QStringLiteral("ｲﾝﾎﾟｰﾄ");
    if (!found.usable()) {
        // The document stays as it was.
        dialogs_.message(window_, QMessageBox::Warning, caption,
                           QStringLiteral("ﾌｧｲﾙ %1 にはﾕｰｻﾞｰﾄﾞﾗﾑｾｯﾄのﾃﾞｰﾀがありません。").arg(path), QMessageBox::Ok);
        return false;
    }
    {
        BusyCursor hourglass;
        c_.file().importKit(std::move(read));
    }
    showCaption();
    QString text = QStringLiteral("%1 から読み込みました。\r\nｾｯﾄ1: %2 音色、ｾｯﾄ2: %3 音色、ｾｯﾄ名: %4\r\n"
                                  "読み飛ばしたﾒｯｾｰｼﾞ: %5 (ﾁｪｯｸｻﾑ誤り %6)")
                       .arg(QFileInfo(path).fileName())
                       .arg(found.notes[0])
                       .arg(found.notes[1])
                       .arg(found.names)
                       .arg(found.skipped)
                       .arg(found.badChecksum);
    if (!found.damage.empty()) text += QStringLiteral("\r\nﾌｧｲﾙは途中で壊れています。読めたところまでを使いました。");
    dialogs_.message(window_, QMessageBox::Information, caption, text, QMessageBox::Ok);
    return true;
}

void FileCommands::Embed1Click() {
    if (c_.state().busy) return;
    const QString caption = QStringLiteral("曲に埋め込む");
    const QString folder = c_.document().folder();
    const QString song = dialogs_.openFile(window_, caption, folder.isEmpty() ? saveDialogDirectory : folder, QString(),
                                           QStringLiteral("MIDIﾌｧｲﾙ (*.mid *.midi *.rmi);;すべてのﾌｧｲﾙ (*)"));
    if (song.isEmpty()) return;
    std::string bytes;
    if (!readBytes(song, &bytes)) return;
    const Kit& kit = c_.document().kit();
    // Tried once as it comes: a song that cannot be taken is refused before anything is asked,
    // and what it holds decides which choices the dialog offers.
    EmbedReport found;
    try {
        EmbedKit(bytes, kit, {}, &found);
    } catch (const SmfError& e) {
        dialogs_.message(window_, QMessageBox::Warning, caption,
                         QStringLiteral("ﾌｧｲﾙ %1 には埋め込めません。\r\n(%2)").arg(song, QString::fromStdString(e.what())),
                         QMessageBox::Ok);
        return;
    }
    EmbedOptions options;
    options.gapMs = embedGapMs;
    if (!askEmbedOptions(window_, found, options)) return;
    embedGapMs = options.gapMs;
    const QFileInfo info(song);
    SaveRequest request;
    request.directory = info.absolutePath();
    request.defaultSuffix = found.rmid ? QStringLiteral("rmi") : QStringLiteral("mid");
    request.proposedName = info.completeBaseName() + QStringLiteral("_kit.") + request.defaultSuffix;
    request.filters << (found.rmid ? QStringLiteral("RIFF MIDI (*.rmi)") : QString::fromUtf8(kFilters[1]));
    const QString out = dialogs_.saveFile(window_, request);
    if (out.isEmpty()) return;
    EmbedReport report;
    try {
        BusyCursor hourglass;
        const BusyTime writing = c_.file().busyTime();
        writeFileAtomically(localPath(out), EmbedKit(bytes, kit, options, &report), disk);
    } catch (const std::exception& e) {
        fileError(QString::fromUtf8(formatFileMessage(kCannotCreateText, "%1").c_str()).arg(out) + reasonLine(e));
        return;
    }
    dialogs_.message(window_, QMessageBox::Information, caption, embedReportText(report, out), QMessageBox::Ok);
}

void FileCommands::Receive1Click() {
    const EditorState& s = c_.state();
    if (s.busy || !c_.session().preview() || !mayDiscard(true)) return;
    showCaption(QStringLiteral(" [読み込み中]"));
    const DocumentFile::Fetched fetched = c_.file().fetchKit();
    showCaption();
    const QString caption = QStringLiteral("ﾓｼﾞｭｰﾙから読み込み");
    QString silent = QStringLiteral("ﾓｼﾞｭｰﾙから応答がありません。\r\n出力: %1\r\n入力: %2")
                         .arg(QString::fromStdString(c_.session().outputName(s.options.midiPort)))
                         .arg(QString::fromStdString(c_.session().inputName(s.options.midiInPort)));
    const QString cause = fetched.inputError ? openFailureText(*fetched.inputError) : QString();
    if (!cause.isEmpty()) silent += "\r\n(" + cause + ")";
    const bool whole = fetched.state == KitFetch::State::Done && fetched.summary.complete();
    switch (fetched.state) {
        case KitFetch::State::NoAnswer:
            dialogs_.message(window_, QMessageBox::Warning, caption, silent, QMessageBox::Ok);
            break;
        case KitFetch::State::Done:
        case KitFetch::State::StoppedAnswering:
            if (whole) {
                adoptFetched(fetched);
                break;
            }
            // The complete notes may still be worth having: the user says, knowing what is missing.
            if (dialogs_.message(window_, QMessageBox::Question, caption,
                                   (fetched.state == KitFetch::State::Done ? QString() : silent + "\r\n") +
                                       incompleteText(fetched.summary) +
                                       QStringLiteral("\r\n読み込めたところまでを使いますか？"),
                                   QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes)
                adoptFetched(fetched);
            break;
        default: break;  // cancelled: the document as it was
    }
}

void FileCommands::adoptFetched(const DocumentFile::Fetched& fetched) {
    c_.file().adoptFetchedKit(fetched.kit);
    showCaption();
    dialogs_.message(window_, QMessageBox::Information, QStringLiteral("ﾓｼﾞｭｰﾙから読み込み"),
                       QStringLiteral("ﾓｼﾞｭｰﾙから読み込みました。\r\nｾｯﾄ1: %1 音色、ｾｯﾄ2: %2 音色、ｾｯﾄ名: %3\r\n"
                                      "応答のなかったﾘｸｴｽﾄ: %4")
                           .arg(fetched.summary.notes[0])
                           .arg(fetched.summary.notes[1])
                           .arg(fetched.summary.names)
                           .arg(fetched.summary.unanswered),
                       QMessageBox::Ok);
}

void FileCommands::dropFile(const QString& path) {
    const EditorState& s = c_.state();
    if (s.busy || !mayDiscard(true)) return;
    if (extensionOf(path) == ".KFG") {
        Kit blank;
        blank.reset();
        loadDocument(path, blank);
        return;
    }
    importFile(path);
}

bool FileCommands::loadDocument(const QString& path, Kit read) {
    // The document is replaced only by a file that reads as a kit.
    const QString before = window_->windowTitle();
    window_->setWindowTitle(QStringLiteral("Kitforge - ") + QFileInfo(path).fileName() +
                            QStringLiteral(" [読み込み中]"));
    bool ok;
    {
        BusyCursor hourglass;
        // The read keeps the window painting: nothing else may start meanwhile.
        const BusyTime reading = c_.file().busyTime();
        ok = readKit(path, read);
        if (ok) {
            const QFileInfo info(path);
            c_.file().openKit(QDir::toNativeSeparators(info.absolutePath() + "/"), nameByFileType(info.fileName()),
                              std::move(read));
        }
    }
    if (!ok) {
        window_->setWindowTitle(before);
        return false;
    }
    showCaption();
    return true;
}

FileCommands::Write FileCommands::writeByExtension(const QString& path) {
    const EditorState& s = c_.state();
    const QString ext = extensionOf(path);
    const int type = typeOfExtension(ext);
    if (type == 0) return Write::UnknownType;
    try {
        std::string bytes;
        switch (type) {
            case 1: bytes = WriteKitFile(c_.document().kit()); break;
            case 2:
                bytes = WriteMidiFile(c_.document().kit(), s.options.comment,
                                      fromUnicode(QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath())));
                break;
            case 3: bytes = WritePrtFile(c_.document().kit(), s.options.comment); break;
            case 4: bytes = WriteTextFile(c_.document().kit(), s.options.comment); break;
            default: bytes = WriteSysexFile(c_.document().kit()); break;
        }
        writeFileAtomically(localPath(path), bytes, disk);
        if (type != kSysexType) c_.file().setFileType(type);
        if (type != 1 && s.options.autoSave) {
            const QString companion = replaceExtension(path, ".KFG");
            try {
                writeFileAtomically(localPath(companion), WriteKitFile(c_.document().kit()), disk);
            } catch (const std::exception& e) {
                fileError(QString::fromUtf8(formatFileMessage(kCannotCreateText, "%1").c_str()).arg(companion) +
                          reasonLine(e));
                return Write::Failed;
            }
        }
    } catch (const std::exception& e) {
        fileError(QString::fromUtf8(formatFileMessage(kCannotCreateText, "%1").c_str()).arg(path) + reasonLine(e));
        return Write::Failed;
    }
    return Write::Done;
}

void FileCommands::Save1Click() {
    const EditorState& s = c_.state();
    if (s.busy) return;
    if (!c_.document().named()) {
        SaveAs1Click();
        return;
    }
    if (saveTo(c_.document().folder() + c_.document().name()) == Write::UnknownType) refuseExtension();
}

FileCommands::Write FileCommands::saveTo(const QString& path) {
    showCaption(QStringLiteral(" [保存中]"));
    Write result;
    {
        BusyCursor hourglass;
        pumpEvents();
        const BusyTime writing = c_.file().busyTime();
        result = writeByExtension(path);
    }
    // A save that did not happen leaves the document modified, so closing still asks.
    if (result == Write::Done) c_.file().saved();
    showCaption();
    return result;
}

void FileCommands::refuseExtension() {
    dialogs_.message(window_, QMessageBox::Warning, QStringLiteral("Kitforge"),
                       QStringLiteral("拡張子は .kfg .mid .prt .txt .syx のいずれかにしてください。"), QMessageBox::Ok);
}

void FileCommands::SaveAs1Click() {
    const EditorState& s = c_.state();
    if (s.busy) return;
    const int type = (s.options.fileType >= 1 && s.options.fileType <= 4) ? s.options.fileType : 1;
    SaveRequest request;
    const Document& doc = c_.document();
    request.directory = doc.named() && !doc.folder().isEmpty() ? doc.folder() : saveDialogDirectory;
    request.defaultSuffix = QString(kExtensions[type - 1]).mid(1).toLower();
    request.proposedName = doc.named() ? replaceExtension(doc.name(), kExtensions[type - 1]) : doc.name();
    for (const char* f : kFilters) request.filters << QString::fromUtf8(f);
    request.selectedFilter = type - 1;
    const QString path = dialogs_.saveFile(window_, request);
    if (path.isEmpty()) return;
    if (typeOfExtension(extensionOf(path)) == 0) {
        refuseExtension();
        return;
    }
    const QFileInfo info(path);
    c_.file().nameFile(QDir::toNativeSeparators(info.absolutePath() + "/"), info.fileName());
    saveTo(path);
}

void FileCommands::OpenFromCommandLine(const QStringList& arguments) {
    if (arguments.isEmpty()) return;
    window_->show();
    pumpEvents();
    QString joined;
    for (const QString& a : arguments) joined += a + ' ';
    const QString path = joined.trimmed();
    if (extensionOf(path) != ".KFG") return;
    // Read into a copy of the kit as start-up left it; it replaces the document only if accepted.
    loadDocument(path, c_.document().kit());
}

}  // namespace kf::ui
