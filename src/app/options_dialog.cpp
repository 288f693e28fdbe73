#include "app/options_dialog.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>

#include "app/controls.h"
#include "app/dialogs.h"
#include "editor/editor_controller.h"
#include "app/fonts.h"
#include "app/view_options.h"
#include "synth/fluid_backend.h"

namespace kf::ui {

namespace {

void help(QObject* o, int context) { o->setProperty("helpContext", context); }

QGroupBox* radioGroup(QWidget* parent, const char* name, const QString& caption, const QStringList& items,
                      QButtonGroup** group, int context) {
    auto* box = new QGroupBox(caption, parent);
    box->setObjectName(name);
    help(box, context);
    auto* layout = new QVBoxLayout(box);
    *group = new QButtonGroup(box);
    int id = 0;
    for (const QString& item : items) {
        auto* b = new QRadioButton(item, box);
        (*group)->addButton(b, id++);
        layout->addWidget(b);
    }
    return box;
}

QCheckBox* check(QWidget* parent, const char* name, const QString& caption, int context) {
    auto* c = new QCheckBox(caption, parent);
    c->setObjectName(name);
    help(c, context);
    return c;
}

void choose(QButtonGroup* group, int id) {
    if (QAbstractButton* b = group->button(id)) b->setChecked(true);
}

}  // namespace

OptionsDialog::OptionsDialog(EditorController& controller, Dialogs& dialogs, ViewOptions& view, QWidget* parent)
    : QDialog(parent), c_(controller), dialogs_(dialogs), view_(view) {
    setObjectName("OptionDlg");
    setWindowTitle(QStringLiteral("ｵﾌﾟｼｮﾝ"));
    setFont(uiFont(12));
    resize(421, 295);
    pages_ = new QTabWidget(this);
    pages_->setObjectName("PageControl1");

    // ﾌｧｲﾙ
    auto* tab1 = new QWidget;
    tab1->setObjectName("TabSheet1");
    help(tab1, 39);
    auto* t1 = new QGridLayout(tab1);
    t1->addWidget(radioGroup(tab1, "RadioGroup2", QStringLiteral("標準出力ﾌｧｲﾙ"),
                             {QStringLiteral("KFG ﾌｧｲﾙ(&U)"), QStringLiteral("ｽﾀﾝﾀﾞｰﾄﾞMIDIﾌｧｲﾙ(&M)"),
                              QStringLiteral("ﾚｺﾝﾎﾟｰｻﾞ PRTﾌｧｲﾙ(&P)"), QStringLiteral("ﾃｷｽﾄ文書(&T)")},
                             &fileType, 59),
                  0, 0);
    auto* details = new QGroupBox(QStringLiteral("詳細設定"), tab1);
    auto* d = new QVBoxLayout(details);
    checkAutoSave1 = check(details, "CheckAutoSave1", QStringLiteral("KFGﾌｧｲﾙの自動保存(&A)"), 61);
    checkComment1 = check(details, "CheckComment1", QStringLiteral("ｺﾒﾝﾄを付ける(&C)"), 62);
    d->addWidget(checkAutoSave1);
    d->addWidget(checkComment1);
    d->addStretch(1);
    t1->addWidget(details, 0, 1);
    auto* userDlg = new QGroupBox(QStringLiteral("標準入出力ﾃﾞｨﾚｸﾄﾘ"), tab1);
    userDlg->setObjectName("UserDlg");
    help(userDlg, 60);
    auto* u = new QGridLayout(userDlg);
    rbIo1 = new QRadioButton(QStringLiteral("起動時のﾃﾞｨﾚｸﾄﾘ"), userDlg);
    rbIo1->setObjectName("RB_io1");
    rbIo2 = new QRadioButton(QStringLiteral("ﾕｰｻﾞｰ設定"), userDlg);
    rbIo2->setObjectName("RB_io2");
    edit1 = new QLineEdit(userDlg);
    edit1->setObjectName("Edit1");
    cmdDir = new QPushButton(QStringLiteral("..."), userDlg);
    cmdDir->setObjectName("cmd_Dir");
    cmdDir->setFixedWidth(28);
    help(cmdDir, 60);
    u->addWidget(rbIo1, 0, 0);
    u->addWidget(rbIo2, 0, 1);
    u->addWidget(edit1, 1, 0, 1, 2);
    u->addWidget(cmdDir, 1, 2);
    t1->addWidget(userDlg, 1, 0, 1, 2);

    // 表示
    auto* tab2 = new QWidget;
    tab2->setObjectName("TabSheet2");
    help(tab2, 40);
    auto* t2 = new QGridLayout(tab2);
    auto* display = new QGroupBox(QStringLiteral("表示ｵﾌﾟｼｮﾝ"), tab2);
    auto* dl = new QVBoxLayout(display);
    checkTool1 = check(display, "CheckTool1", QStringLiteral("ﾂｰﾙﾊﾞｰ(&T)"), 63);
    checkName1 = check(display, "CheckName1", QStringLiteral("名前入力ﾊﾞｰ(&N)"), 64);
    checkData1 = check(display, "CheckData1", QStringLiteral("ﾃﾞｰﾀ入力ﾎﾞｯｸｽ(&I)"), 65);
    checkStatus1 = check(display, "CheckStatus1", QStringLiteral("ｽﾃｰﾀｽﾊﾞｰ(&S)"), 66);
    for (QWidget* w : {checkTool1, checkName1, checkData1, checkStatus1}) dl->addWidget(w);
    t2->addWidget(display, 0, 0, 2, 1);
    t2->addWidget(radioGroup(tab2, "RadioGroup1", QStringLiteral("ﾃﾞｰﾀ入力ﾎﾞｯｸｽ"),
                             {QStringLiteral("上に配置"), QStringLiteral("下に配置")}, &boxPosition, 67),
                  0, 1);
    auto* windowOptions = new QGroupBox(QStringLiteral("ｳｲﾝﾄﾞｳｵﾌﾟｼｮﾝ"), tab2);
    auto* wl = new QVBoxLayout(windowOptions);
    checkScr1 = check(windowOptions, "CheckScr1", QStringLiteral("画面外に出さない"), 68);
    checkMax1 = check(windowOptions, "CheckMax1", QStringLiteral("起動時に最大化"), 69);
    wl->addWidget(checkScr1);
    wl->addWidget(checkMax1);
    t2->addWidget(windowOptions, 1, 1);

    // MIDI出力
    auto* tab4 = new QWidget;
    tab4->setObjectName("TabSheet4");
    help(tab4, 41);
    auto* t4 = new QGridLayout(tab4);
    auto* previewBox = new QGroupBox(QStringLiteral("ﾌﾟﾚﾋﾞｭｰ機能"), tab4);
    auto* pl = new QGridLayout(previewBox);
    checkPreview1 = check(previewBox, "CheckPreview1", QStringLiteral("使用する(&P)"), 70);
    label2 = new QLabel(QStringLiteral("ﾍﾞﾛｼﾃｨ(&V)"), previewBox);
    label2->setObjectName("Label2");
    memo1 = new QLineEdit(previewBox);
    memo1->setObjectName("Memo1");
    memo1->setReadOnly(true);
    memo1->setAlignment(Qt::AlignRight);
    memo1->setFixedWidth(32);
    memo1->setFocusPolicy(Qt::ClickFocus);
    memo1->installEventFilter(this);
    help(memo1, 71);
    upDownVel1 = new UpDown(previewBox);
    upDownVel1->setObjectName("UpDownVel1");
    help(upDownVel1, 71);
    trackBar1 = new TrackBar(previewBox);
    trackBar1->setObjectName("TrackBar1");
    help(trackBar1, 71);
    label2->setBuddy(trackBar1);
    checkAutoPreview = check(previewBox, "CheckAutoPreview", QStringLiteral("自動ﾌﾟﾚﾋﾞｭｰ(&A)"), 72);
    pl->addWidget(checkPreview1, 0, 0, 1, 4);
    pl->addWidget(label2, 1, 0);
    pl->addWidget(memo1, 1, 1);
    pl->addWidget(upDownVel1, 1, 2);
    pl->addWidget(trackBar1, 1, 3);
    pl->addWidget(checkAutoPreview, 2, 0, 1, 4);
    // What the rhythm parts send to the effects, so a note's chorus and delay sends can be heard.
    auto partSend = [&](const char* name, const QString& text, int row) {
        auto* label = new QLabel(text, previewBox);
        auto* box = new QSpinBox(previewBox);
        box->setObjectName(name);
        box->setRange(0, 127);
        help(box, 41);
        label->setBuddy(box);
        pl->addWidget(label, row, 0, 1, 2);
        pl->addWidget(box, row, 2, 1, 2, Qt::AlignLeft);
        return box;
    };
    partReverb = partSend("PartReverb", QStringLiteral("ﾘﾊﾞｰﾌﾞ送り"), 3);
    partChorus = partSend("PartChorus", QStringLiteral("ｺｰﾗｽ送り"), 4);
    partDelay = partSend("PartDelay", QStringLiteral("ﾃﾞｨﾚｲ送り"), 5);
    t4->addWidget(previewBox, 0, 0);
    auto* portBox = new QGroupBox(QStringLiteral("出力ﾎﾟｰﾄ"), tab4);
    help(portBox, 73);
    auto* portLayout = new QVBoxLayout(portBox);
    portList = new QComboBox(portBox);
    portList->setObjectName("PortList");
    help(portList, 73);
    portLayout->addWidget(portList);
    // The built-in synth's sound and where it plays.
    auto* synthRow = new QHBoxLayout;
    auto* fontLabel = new QLabel(QStringLiteral("SoundFont(&F)"), portBox);
    soundFont = new QLineEdit(portBox);
    soundFont->setObjectName("EditSoundFont1");
    // Empty means the synth's own choice: say which files that is, so the user sees what plays.
    QStringList defaults;
    for (const std::string& f : SynthOptions().soundFonts)
        if (QFileInfo::exists(QString::fromStdString(f))) defaults << QString::fromStdString(f);
    soundFont->setPlaceholderText(defaults.isEmpty() ? QStringLiteral("既定のSoundFontがありません")
                                                     : QStringLiteral("既定: ") + defaults.join(QStringLiteral(" + ")));
    soundFont->setToolTip(soundFont->placeholderText());
    help(soundFont, 73);
    fontLabel->setBuddy(soundFont);
    cmdSoundFont = new QPushButton(QStringLiteral("..."), portBox);
    cmdSoundFont->setObjectName("cmd_SoundFont");
    cmdSoundFont->setFixedWidth(28);
    help(cmdSoundFont, 73);
    connect(cmdSoundFont, &QPushButton::clicked, this, &OptionsDialog::cmd_SoundFontClick);
    audioDriver = new QComboBox(portBox);
    audioDriver->setObjectName("AudioDriver1");
    audioDriver->addItem(QStringLiteral("自動"), QString());
    for (const char* d : kAudioDrivers) audioDriver->addItem(d, QString(d));
    help(audioDriver, 73);
    synthRow->addWidget(fontLabel);
    synthRow->addWidget(soundFont, 1);
    synthRow->addWidget(cmdSoundFont);
    synthRow->addWidget(audioDriver);
    // A path is long: the row spans the whole page, below the boxes, so it can be read.
    soundFont->setMinimumWidth(soundFont->fontMetrics().averageCharWidth() * 40);
    connect(soundFont, &QLineEdit::textChanged, soundFont, [this](const QString& text) {
        soundFont->setToolTip(text.isEmpty() ? soundFont->placeholderText() : text);
    });
    t4->addWidget(portBox, 1, 0);
    auto* inBox = new QGroupBox(QStringLiteral("入力ﾎﾟｰﾄ"), tab4);
    help(inBox, 73);
    auto* inLayout = new QVBoxLayout(inBox);
    inPortList = new QComboBox(inBox);
    inPortList->setObjectName("InPortList");
    help(inPortList, 73);
    inLayout->addWidget(inPortList);
    checkOneByOne1 = check(inBox, "CheckOneByOne1", QStringLiteral("ﾘｸｴｽﾄを1つずつ送る"), 73);
    checkThru1 = check(inBox, "CheckThru1", QStringLiteral("MIDI入力を出力へ送る"), 73);
    checkSelectByInput = check(inBox, "CheckSelectByInput", QStringLiteral("入力ﾉｰﾄで選択"), 73);
    checkVerifyAfterSend = check(inBox, "CheckVerifyAfterSend", QStringLiteral("送信後に照合"), 73);
    inLayout->addWidget(checkOneByOne1);
    inLayout->addWidget(checkThru1);
    inLayout->addWidget(checkSelectByInput);
    inLayout->addWidget(checkVerifyAfterSend);
    t4->addWidget(inBox, 1, 1);
    auto* speedBox = radioGroup(tab4, "RG_Speed", QStringLiteral("送信速度"),
                                {QStringLiteral("MIDI ｹｰﾌﾞﾙと同じ速さ"), QStringLiteral("制限なし")}, &speed, 41);
    // A hardware port drops what overruns its buffer and says nothing: only a cable's pace is safe there.
    speed->button(1)->setToolTip(QStringLiteral(
        "ｿﾌﾄｳｪｱ音源向けです。MIDI ｲﾝﾀｰﾌｪｰｽ(USB・ｼﾘｱﾙ)では、送りきれないﾊﾞｲﾄが知らされずに失われることがあります。"));
    auto* pauseRow = new QHBoxLayout;
    auto* pauseLabel = new QLabel(QStringLiteral("SysEx 後の待ち時間(&W)"), speedBox);
    pauseLabel->setObjectName("LabelPause1");
    sysexPause = new QSpinBox(speedBox);
    sysexPause->setObjectName("SysExPause");
    sysexPause->setRange(0, kMaxSysexPauseMs);
    sysexPause->setSuffix(QStringLiteral(" ms"));
    help(sysexPause, 41);
    pauseLabel->setBuddy(sysexPause);
    pauseRow->addWidget(pauseLabel);
    pauseRow->addWidget(sysexPause);
    static_cast<QVBoxLayout*>(speedBox->layout())->addLayout(pauseRow);
    t4->addWidget(speedBox, 2, 0, 1, 2);
    t4->addLayout(synthRow, 3, 0, 1, 2);
    // A build without the built-in synth (Windows where FluidSynth could not be built) has no
    // port for these to configure.
    if (!KITFORGE_BUILT_IN_SYNTH)
        for (QWidget* w : std::initializer_list<QWidget*>{fontLabel, soundFont, cmdSoundFont, audioDriver}) w->hide();
    t4->addWidget(radioGroup(tab4, "RG_SendMidi", QStringLiteral("起動時送信ﾒｯｾｰｼﾞ"),
                             {QStringLiteral("なし"), "GS RESET", "SYSTEM MODE 1", "SYSTEM MODE 2", "ALL PART Pro MAP"},
                             &sendAtStart, 74),
                  0, 1);

    // ﾃﾞｰﾀ入力
    auto* tab3 = new QWidget;
    tab3->setObjectName("TabSheet3");
    help(tab3, 42);
    auto* t3 = new QGridLayout(tab3);
    t3->addWidget(radioGroup(tab3, "RG_UseMap", QStringLiteral("使用するMAP"),
                             {QStringLiteral("SC-55・SC-88"), QStringLiteral("SC-55・SC-88・SC-88Pro"),
                              QStringLiteral("すべてのMAP")},
                             &useMap, 75),
                  0, 0);
    auto* inputDetails = new QGroupBox(QStringLiteral("詳細設定"), tab3);
    auto* il = new QVBoxLayout(inputDetails);
    checkInc1 = check(inputDetails, "CheckInc1", QStringLiteral("自動ｲﾝｸﾘﾒﾝﾄ(&A)"), 76);
    il->addWidget(checkInc1);
    il->addStretch(1);
    t3->addWidget(inputDetails, 0, 1);

    pages_->addTab(tab1, QStringLiteral("ﾌｧｲﾙ"));
    pages_->addTab(tab2, QStringLiteral("表示"));
    pages_->addTab(tab4, QStringLiteral("MIDI出力"));
    pages_->addTab(tab3, QStringLiteral("ﾃﾞｰﾀ入力"));

    okBtn = new QPushButton(QStringLiteral("OK"), this);
    okBtn->setObjectName("OKBtn");
    okBtn->setDefault(true);
    help(okBtn, 77);
    cancelBtn = new QPushButton(QStringLiteral("ｷｬﾝｾﾙ"), this);
    cancelBtn->setObjectName("CancelBtn");
    help(cancelBtn, 78);
    helpBtn = new QPushButton(QStringLiteral("ﾍﾙﾌﾟ(&H)"), this);
    helpBtn->setObjectName("HelpBtn");
    help(helpBtn, 79);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(okBtn);
    buttons->addWidget(cancelBtn);
    buttons->addWidget(helpBtn);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(pages_);
    layout->addLayout(buttons);

    connect(okBtn, &QPushButton::clicked, this, [this] {
        OKBtnClick();
        accept();
    });
    connect(cancelBtn, &QPushButton::clicked, this, &QDialog::reject);
    connect(helpBtn, &QPushButton::clicked, this, &OptionsDialog::HelpBtnClick);
    connect(rbIo1, &QRadioButton::toggled, this, [this](bool on) {
        if (on) RB_io1Click();
    });
    connect(rbIo2, &QRadioButton::toggled, this, [this](bool on) {
        if (on) RB_io2Click();
    });
    connect(cmdDir, &QPushButton::clicked, this, &OptionsDialog::cmd_DirClick);
    connect(fileType, &QButtonGroup::idToggled, this, [this](int, bool on) {
        if (on) RadioGroup2Click();
    });
    connect(checkPreview1, &QCheckBox::toggled, this, &OptionsDialog::CheckPreview1Click);
    connect(trackBar1, &QSlider::valueChanged, this, &OptionsDialog::TrackBar1Change);
    connect(upDownVel1, &UpDown::clicked, this, &OptionsDialog::UpDownVel1Click);

    // The designed first state: the path and the velocity controls disabled.
    choose(fileType, 0);
    rbIo1->setChecked(true);
    RB_io1Click();
    CheckPreview1Click();
}

void OptionsDialog::showEvent(QShowEvent* event) {
    FormShow();
    QDialog::showEvent(event);
}

void OptionsDialog::FormShow() {
    const EditorState& s = c_.state();
    const Options& o = s.options;
    choose(fileType, o.fileType - 1);
    RadioGroup2Click();
    checkAutoSave1->setChecked(o.autoSave);
    checkComment1->setChecked(o.comment);
    edit1->setText(o.directory);
    (o.directory.isEmpty() ? rbIo1 : rbIo2)->setChecked(true);
    checkTool1->setChecked(view_.toolBarVisible());
    checkName1->setChecked(view_.nameBarVisible());
    checkData1->setChecked(view_.dataBoxVisible());
    checkStatus1->setChecked(view_.statusBarVisible());
    choose(boxPosition, view_.dataBoxAtBottom() ? 1 : 0);
    checkScr1->setChecked(o.inScreen);
    checkMax1->setChecked(o.maximized);
    checkPreview1->setChecked(c_.session().preview());
    checkAutoPreview->setChecked(s.autoPreview);
    upDownVel1->setPosition(s.velocity);
    memo1->setText(QString::number(upDownVel1->position()));
    trackBar1->setPositionSilently(upDownVel1->position());
    choose(sendAtStart, o.initCommand);
    choose(speed, o.unlimitedSpeed ? 1 : 0);
    sysexPause->setValue(o.sysexPauseMs);
    partReverb->setValue(o.partReverb);
    partChorus->setValue(o.partChorus);
    partDelay->setValue(o.partDelay);
    portList->clear();
    const int n = c_.session().outputCount();
    // Each item carries its device ID: the built-in synth (-2) first where there is one.
    const bool synth = !c_.session().outputName(MidiOut::kBuiltInSynth).empty();
    for (int id = synth ? MidiOut::kBuiltInSynth : -1; id < n; ++id)
        portList->addItem(QString::fromStdString(c_.session().outputName(id)), id);
    portList->setEnabled(n > 0 || synth);
    portList->setCurrentIndex(n > 0 || synth ? portList->findData(o.midiPort) : -1);
    inPortList->clear();
    const int inputs = c_.session().inputCount();
    const bool answers = !c_.session().inputName(MidiIn::kBuiltInSynth).empty();
    for (int id = answers ? MidiIn::kBuiltInSynth : -1; id < inputs; ++id)
        inPortList->addItem(QString::fromStdString(c_.session().inputName(id)), id);
    inPortList->setCurrentIndex(std::max(0, inPortList->findData(o.midiInPort)));
    checkOneByOne1->setChecked(o.fetchOneByOne);
    checkThru1->setChecked(o.midiThru);
    checkSelectByInput->setChecked(o.selectByInput);
    checkVerifyAfterSend->setChecked(o.verifyAfterSend);
    soundFont->setText(o.soundFont);
    audioDriver->setCurrentIndex(std::max(0, audioDriver->findData(o.audioDriver)));
    choose(useMap, o.useMap);
    checkInc1->setChecked(o.increment);
}

void OptionsDialog::OKBtnClick() {
    const EditorState& s = c_.state();
    Options o = s.options;
    o.autoSave = checkAutoSave1->isChecked();
    o.comment = checkComment1->isChecked();
    o.fileType = fileType->checkedId() + 1;
    o.directory = edit1->text();
    if (rbIo1->isChecked()) o.directory.clear();
    view_.SetToolBarVisible(checkTool1->isChecked());
    view_.SetNameBarVisible(checkName1->isChecked());
    view_.SetDataBoxVisible(checkData1->isChecked());
    view_.SetStatusBarVisible(checkStatus1->isChecked());
    view_.SetDataBoxAtBottom(boxPosition->checkedId() == 1);
    o.inScreen = checkScr1->isChecked();
    o.maximized = checkMax1->isChecked();
    // With no device listed the port stays as it was; opening it fails cleanly anyway.
    if (portList->currentIndex() >= 0) o.midiPort = portList->currentData().toInt();
    if (inPortList->currentIndex() >= 0) o.midiInPort = inPortList->currentData().toInt();
    o.fetchOneByOne = checkOneByOne1->isChecked();
    o.midiThru = checkThru1->isChecked();
    o.selectByInput = checkSelectByInput->isChecked();
    o.verifyAfterSend = checkVerifyAfterSend->isChecked();
    const bool synthChanged =
        o.soundFont != soundFont->text() || o.audioDriver != audioDriver->currentData().toString();
    o.soundFont = soundFont->text();
    o.audioDriver = audioDriver->currentData().toString();
    o.unlimitedSpeed = speed->checkedId() == 1;
    o.sysexPauseMs = sysexPause->value();
    o.partReverb = partReverb->value();
    o.partChorus = partChorus->value();
    o.partDelay = partDelay->value();
    o.initCommand = std::max(0, sendAtStart->checkedId());
    o.useMap = std::max(0, useMap->checkedId());
    o.increment = checkInc1->isChecked();
    c_.setOptions(o);
    // The synth takes new options when it opens again, and then the whole kit.
    if (synthChanged && o.midiPort == MidiOut::kBuiltInSynth && c_.session().preview()) c_.preview().setPreview(false);
    c_.preview().setPreview(checkPreview1->isChecked());
    c_.setAutoPreview(checkAutoPreview->isChecked());
    c_.setVelocity(upDownVel1->position());
}

void OptionsDialog::HelpBtnClick() {
    if (openHelp) openHelp(pages_->currentWidget()->property("helpContext").toInt());
}

void OptionsDialog::RB_io1Click() {
    edit1->setEnabled(false);
    cmdDir->setEnabled(false);
}

void OptionsDialog::RB_io2Click() {
    edit1->setEnabled(true);
    cmdDir->setEnabled(true);
}

void OptionsDialog::cmd_SoundFontClick() {
    const QString shown =
        soundFont->text().isEmpty() ? QString::fromStdString(defaultSoundFonts().front()) : soundFont->text();
    const QString start = QFileInfo(shown).absolutePath();
    const QString chosen = dialogs_.openFile(this, QStringLiteral("SoundFont"), start, QString(),
                                               QStringLiteral("SoundFont (*.sf2 *.sf3 *.SF2 *.SF3)"));
    if (!chosen.isEmpty()) soundFont->setText(chosen);
}

void OptionsDialog::cmd_DirClick() {
    const QString chosen = dialogs_.chooseDirectory(this, edit1->text());
    if (chosen.isEmpty()) return;
    if (!QDir(chosen).exists()) {
        if (dialogs_.message(this, QMessageBox::Question, QStringLiteral("ｵﾌﾟｼｮﾝ"),
                               QStringLiteral("ﾃﾞｨﾚｸﾄﾘ %1 は存在しません。作成しますか？").arg(chosen),
                               QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes)
            return;
        if (!QDir().mkpath(chosen)) {
            dialogs_.message(this, QMessageBox::Warning, QStringLiteral("ｵﾌﾟｼｮﾝ"),
                               QStringLiteral("ﾃﾞｨﾚｸﾄﾘ %1 を作成できません").arg(chosen), QMessageBox::Ok);
            return;
        }
    }
    edit1->setText(chosen);
}

void OptionsDialog::RadioGroup2Click() { checkAutoSave1->setEnabled(fileType->checkedId() != 0); }

void OptionsDialog::CheckPreview1Click() {
    const bool on = checkPreview1->isChecked();
    for (QWidget* w : {static_cast<QWidget*>(label2), static_cast<QWidget*>(memo1), static_cast<QWidget*>(upDownVel1),
                       static_cast<QWidget*>(trackBar1), static_cast<QWidget*>(checkAutoPreview)})
        w->setEnabled(on);
}

void OptionsDialog::TrackBar1Change() {
    if (upDownVel1->position() != trackBar1->value()) upDownVel1->setPosition(trackBar1->value());
    memo1->setText(QString::number(upDownVel1->position()));
}

void OptionsDialog::UpDownVel1Click() {
    if (trackBar1->value() != upDownVel1->position()) trackBar1->setPositionSilently(upDownVel1->position());
    memo1->setText(QString::number(upDownVel1->position()));
}

void OptionsDialog::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_F1) {
        int context = 0;
        for (QObject* o = QApplication::focusWidget(); o && context == 0; o = o->parent())
            context = o->property("helpContext").toInt();
        if (openHelp) openHelp(context);
        return;
    }
    QDialog::keyPressEvent(event);
}

bool OptionsDialog::eventFilter(QObject* watched, QEvent* event) {
    if (watched == memo1 && event->type() == QEvent::FocusIn) trackBar1->setFocus(Qt::OtherFocusReason);
    return QDialog::eventFilter(watched, event);
}

}  // namespace kf::ui
