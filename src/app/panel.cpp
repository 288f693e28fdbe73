#include "app/panel.h"

#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QMenu>
#include <QRadioButton>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QTimer>
#include <QValidator>
#include <QVBoxLayout>

#include "app/controls.h"
#include "editor/text.h"
#include "model/parameters.h"

namespace kf::ui {

class SjisLengthValidator : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override {
        return canEncode(input) && sjisLength(input) <= 20 ? Acceptable : Invalid;
    }
};

namespace {

struct RowDesign {
    const char* caption;
    const char* hint;
    int helpContext;
};

const RowDesign kRows[9] = {
    {"PlayNote", "音の高さを変更します。", 25},
    {"Level", "音量を変更します。", 26},
    {"Pan", "音の定位を変更します。", 27},
    {"Reverb", "ﾘﾊﾞｰﾌﾞ量を変更します。", 28},
    {"Chorus", "Effect type で設定されたｴﾌｪｸﾄの量を変更します。", 29},
    {"Assign", "同時に発音しないｸﾞﾙｰﾌﾟを設定します。", 34},
    {"Map", "元となるﾏｯﾌﾟを表します。通常は変更しないでください。", 35},
    {"PG#", "元となるﾄﾞﾗﾑｾｯﾄを表します。通常は変更しないでください。", 36},
    {"Note#", "元となる音色を表します。通常は変更しないでください。", 37},
};


void setHint(QWidget* w, const char* hint) { w->setStatusTip(longHint(QString::fromUtf8(hint))); }
void setHelp(QObject* o, int context) { o->setProperty("helpContext", context); }

}  // namespace

ParameterPanel::ParameterPanel(EditorController& controller, QWidget* parent) : QWidget(parent), c_(controller) {
    setObjectName("ParameterPanel");
    scrollBox_ = new QScrollArea;
    scrollBox_->setObjectName("ScrollBox1");
    scrollBox_->setWidget(this);
    scrollBox_->setWidgetResizable(true);
    scrollBox_->setFrameShape(QFrame::NoFrame);

    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(4);
    grid->setColumnMinimumWidth(0, 64);
    grid->setColumnStretch(3, 1);

    label0_ = new ClickLabel("Name", this);
    label0_->setObjectName("Label0");
    editInst1_ = new QLineEdit(this);
    editInst1_->setObjectName("EditInst1");
    editInst1_->setValidator(new SjisLengthValidator(editInst1_));
    setHint(editInst1_, "音色名を変更します。");
    setHelp(editInst1_, 48);
    editInst1_->installEventFilter(this);
    connect(editInst1_, &QLineEdit::textEdited, this, &ParameterPanel::EditInst1Change);
    connect(label0_, &ClickLabel::clicked, editInst1_, [this] { editInst1_->setFocus(); });
    grid->addWidget(label0_, 0, 0);
    grid->addWidget(editInst1_, 0, 1, 1, 3);

    for (int r = 1; r <= 9; ++r) buildRow(r, kRows[r - 1].caption, kRows[r - 1].hint, kRows[r - 1].helpContext);
    label10_ = new ClickLabel("Group", this);
    label10_->setObjectName("Label10");
    label10_->setProperty("tag", 6);
    connect(label10_, &ClickLabel::clicked, this, [this] { Memo1Enter(6); });

    radioGroup1_ = new QGroupBox("Effect Type", this);
    radioGroup1_->setObjectName("RadioGroup1");
    setHint(radioGroup1_, "ｴﾌｪｸﾄの種類を切り替えます。");
    setHelp(radioGroup1_, 31);
    effectGroup_ = new QButtonGroup(this);
    auto* radioLayout = new QVBoxLayout(radioGroup1_);
    int id = 0;
    for (const char* caption : {"Chorus", "Deley"}) {
        auto* b = new QRadioButton(caption, radioGroup1_);
        b->setStatusTip(radioGroup1_->statusTip());
        effectGroup_->addButton(b, id++);
        radioLayout->addWidget(b);
    }
    effectGroup_->button(0)->setChecked(true);
    connect(effectGroup_, &QButtonGroup::idClicked, this, &ParameterPanel::RadioGroup1Click);

    groupBox1_ = new QGroupBox(this);
    groupBox1_->setObjectName("GroupBox1");
    auto* rxLayout = new QVBoxLayout(groupBox1_);
    checkBox1_ = new QCheckBox("Rx Note Off", groupBox1_);
    checkBox1_->setObjectName("CheckBox1");
    setHint(checkBox1_, "ﾉｰﾄｵﾌを受信する/しないを切り替えます。");
    setHelp(checkBox1_, 32);
    checkBox2_ = new QCheckBox("Rx Note On", groupBox1_);
    checkBox2_->setObjectName("CheckBox2");
    setHint(checkBox2_, "ﾉｰﾄｵﾝを受信する/しないを切り替えます。常に受信するにしてください。");
    setHelp(checkBox2_, 33);
    rxLayout->addWidget(checkBox1_);
    rxLayout->addWidget(checkBox2_);
    // Every parameter control ends text-entry mode when it takes the focus.
    for (QWidget* w : {static_cast<QWidget*>(checkBox1_), static_cast<QWidget*>(checkBox2_),
                       static_cast<QWidget*>(effectGroup_->button(0)), static_cast<QWidget*>(effectGroup_->button(1)),
                       static_cast<QWidget*>(scrollBox_)})
        w->installEventFilter(this);
    connect(checkBox1_, &QCheckBox::clicked, this, [this] { CheckBox1Click(); });
    connect(checkBox2_, &QCheckBox::clicked, this, [this] { CheckBox2Click(); });

    // Name, rows 1 to 5, the effect type and Rx boxes side by side, then rows 6 to 9.
    int line = 1;
    auto placeRow = [&](int r) {
        const Row& row = rows_[static_cast<size_t>(r - 1)];
        if (r == 6) {
            auto* two = new QVBoxLayout;
            two->setSpacing(0);
            two->addWidget(row.label);
            two->addWidget(label10_);
            grid->addLayout(two, line, 0);
        } else {
            grid->addWidget(row.label, line, 0);
        }
        grid->addWidget(row.memo, line, 1);
        grid->addWidget(row.upDown, line, 2);
        grid->addWidget(row.track, line, 3);
        grid->setRowMinimumHeight(line, 32);
        ++line;
    };
    for (int r = 1; r <= 5; ++r) placeRow(r);
    auto* boxes = new QHBoxLayout;
    boxes->addWidget(radioGroup1_);
    boxes->addWidget(groupBox1_);
    grid->addLayout(boxes, line++, 0, 1, 4);
    for (int r = 6; r <= 9; ++r) placeRow(r);

    auto* outer = new QVBoxLayout(this);
    outer->addLayout(grid);
    outer->addStretch(1);

    // Velocity controls of the tool bar.
    memo10_ = new QLineEdit(QStringLiteral("127"));
    memo10_->setObjectName("Memo10");
    memo10_->setReadOnly(true);
    memo10_->setAlignment(Qt::AlignRight);
    memo10_->setFixedWidth(32);
    memo10_->setFocusPolicy(Qt::ClickFocus);
    memo10_->installEventFilter(this);
    upDown10_ = new UpDown;
    upDown10_->setObjectName("UpDown10");
    upDown10_->setPosition(127);
    trackBar10_ = new TrackBar;
    trackBar10_->setObjectName("TrackBar10");
    trackBar10_->setFixedWidth(130);
    trackBar10_->setPositionSilently(127);
    connect(upDown10_, &UpDown::clicked, this, &ParameterPanel::UpDown10Click);
    connect(trackBar10_, &QSlider::valueChanged, this, &ParameterPanel::TrackBar10Change);
    trackBar10_->installEventFilter(this);
}

void ParameterPanel::buildRow(int r, const char* caption, const char* hint, int helpContext) {
    Row& row = rows_[static_cast<size_t>(r - 1)];
    const QString n = QString::number(r);
    row.label = new ClickLabel(caption, this);
    row.label->setObjectName("Label" + n);
    row.memo = new QLineEdit(this);
    row.memo->setObjectName("Memo" + n);
    row.memo->setReadOnly(true);
    row.memo->setAlignment(Qt::AlignRight);
    row.memo->setFixedWidth(44);
    row.memo->setFocusPolicy(Qt::ClickFocus);
    row.memo->installEventFilter(this);
    row.upDown = new UpDown(this);
    row.upDown->setObjectName("UpDown" + n);
    row.track = new TrackBar(this);
    row.track->setObjectName("TrackBar" + n);
    row.track->setMinimumWidth(128);
    row.track->installEventFilter(this);
    for (QWidget* w : {static_cast<QWidget*>(row.label), static_cast<QWidget*>(row.memo),
                       static_cast<QWidget*>(row.upDown), static_cast<QWidget*>(row.track)}) {
        w->setProperty("tag", r);
        setHint(w, hint);
    }
    setHelp(row.track, helpContext);
    connect(row.label, &ClickLabel::clicked, this, [this, r] { Memo1Enter(r); });
    connect(row.track, &QSlider::valueChanged, this, [this, r] { TrackBar1Change(r); });
    connect(row.upDown, &UpDown::clicked, this, [this, r] { UpDown1Click(r); });

    row.menu = new QMenu(this);
    row.menu->setObjectName("Pop_Val" + n);
    setHelp(row.menu, 17);
    row.defItem = row.menu->addAction(QStringLiteral("ﾃﾞﾌｫﾙﾄ値へ戻す"));
    row.defItem->setStatusTip(QStringLiteral("元の音色の値に戻します。"));
    row.defItem->setEnabled(r <= 6);
    row.autoItem = row.menu->addAction(QStringLiteral("自動ﾌﾟﾚﾋﾞｭｰ"));
    row.autoItem->setCheckable(true);
    row.autoItem->setStatusTip(QStringLiteral("値の変更時に自動的に発音する/しないを切り替えます。"));
    connect(row.defItem, &QAction::triggered, this, [this, r] { defClick(r); });
    connect(row.autoItem, &QAction::triggered, this, [this] { auto_pClick(); });
    connect(row.menu, &QMenu::aboutToShow, this, [this, r] { Pop_Val1Popup(r); });
    for (QWidget* w : {static_cast<QWidget*>(row.memo), static_cast<QWidget*>(row.upDown),
                       static_cast<QWidget*>(row.track)}) {
        w->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(w, &QWidget::customContextMenuRequested, this,
                [this, w, r](const QPoint& p) { valueMenu(r)->popup(w->mapToGlobal(p)); });
    }
}

QLabel* ParameterPanel::label(int row) const {
    if (row == 0) return label0_;
    if (row == 10) return label10_;
    return rows_[static_cast<size_t>(row - 1)].label;
}

QRadioButton* ParameterPanel::effectButton(int type) const {
    return static_cast<QRadioButton*>(effectGroup_->button(type));
}

QWidget* ParameterPanel::velocityMemo() const { return memo10_; }

void ParameterPanel::setUp() {
    showNote(1, 0);
    c_.editing().applyStartValues();
}

void ParameterPanel::showRow(int r, int value) {
    Row& row = rows_[static_cast<size_t>(r - 1)];
    row.memo->setText(QString::fromStdString(parameterText(r, value)));
    row.upDown->setPosition(value);
    if (row.track->value() != value) row.track->setPositionSilently(value);
}

void ParameterPanel::showEffectType(int t) {
    rows_[4].label->setText(t ? "Delay" : "Chorus");
    setHelp(rows_[4].track, t ? 30 : 29);
    if (effectGroup_->checkedId() != t) effectGroup_->button(t)->setChecked(true);
}

void ParameterPanel::setEffectType(int value) {
    showEffectType(value ? 1 : 0);
    c_.editing().setEffectType(value);
}

void ParameterPanel::setRxNoteOff(int value) {
    if (checkBox1_->isChecked() != (value != 0)) checkBox1_->setChecked(value != 0);
    c_.editing().setRxNoteOff(value);
}

void ParameterPanel::setRxNoteOn(int value) {
    if (checkBox2_->isChecked() != (value != 0)) checkBox2_->setChecked(value != 0);
    c_.editing().setRxNoteOn(value);
}

void ParameterPanel::noteChanged(int set, int note) {
    if (set == c_.state().currentSet && note == c_.state().currentNote) showNote(set, note);
}

void ParameterPanel::kitReplaced() {
    const DrumNoteEntry& selected = c_.currentEntry();
    showInstrumentName(selected.used ? toUnicode(selected.name) : QString());
    if (selected.used) showNote(c_.state().currentSet, c_.state().currentNote);
}

void ParameterPanel::showNote(int set, int note) {
    const DrumNoteEntry& entry = c_.document().kit().entry(set, note);
    groupBox1_->setEnabled(entry.used != 0);
    editInstTag_ = 0;
    if (entry.used) {
        for (int r = 1; r <= 5; ++r) showRow(r, fieldOfRow(entry, r));
        showEffectType(entry.effectType ? 1 : 0);
        showRow(6, entry.assignGroup);
        checkBox1_->setChecked(entry.rxNoteOff != 0);
        checkBox2_->setChecked(entry.rxNoteOn != 0);
        editInst1_->setText(toUnicode(entry.name));
        for (int r = 7; r <= 9; ++r) showRow(r, fieldOfRow(entry, r));
    } else {
        editInst1_->clear();
    }
    editInstTag_ = 1;
}

void ParameterPanel::showInstrumentName(const QString& name) {
    editInstTag_ = 0;
    editInst1_->setText(name);
    editInstTag_ = 1;
}

void ParameterPanel::updateEnabledState() {
    const bool used = c_.currentEntry().used != 0;
    if (rows_[0].label->isEnabled() == used) return;
    for (const Row& row : rows_)
        for (QWidget* w : {static_cast<QWidget*>(row.label), static_cast<QWidget*>(row.memo),
                           static_cast<QWidget*>(row.upDown), static_cast<QWidget*>(row.track)})
            w->setEnabled(used);
    for (QWidget* w : {static_cast<QWidget*>(label0_), static_cast<QWidget*>(label10_),
                       static_cast<QWidget*>(editInst1_), static_cast<QWidget*>(checkBox1_),
                       static_cast<QWidget*>(checkBox2_), static_cast<QWidget*>(radioGroup1_)})
        w->setEnabled(used);
}

void ParameterPanel::defClick(int row) { c_.editing().restoreDefault(row); }
void ParameterPanel::TrackBar1Change(int row) { c_.editing().setParameter(trackBar(row)->value(), row); }
void ParameterPanel::UpDown1Click(int row) { c_.editing().setParameter(upDown(row)->position(), row); }
void ParameterPanel::Memo1Enter(int row) { trackBar(row)->setFocus(Qt::OtherFocusReason); }
void ParameterPanel::CheckBox1Click() { setRxNoteOff(checkBox1_->isChecked() ? 1 : 0); }
void ParameterPanel::CheckBox2Click() { setRxNoteOn(checkBox2_->isChecked() ? 1 : 0); }
void ParameterPanel::RadioGroup1Click(int index) { setEffectType(index); }

void ParameterPanel::EditInst1Change(const QString& text) {
    if (editInstTag_ != 1) return;
    c_.editing().renameInstrument(fromUnicode(text));
}

int ParameterPanel::velocity() const { return upDown10_->position(); }

void ParameterPanel::velocityChanged(int v) {
    upDown10_->setPosition(v);
    memo10_->setText(QString::number(upDown10_->position()));
    trackBar10_->setPositionSilently(upDown10_->position());
}

void ParameterPanel::UpDown10Click() {
    memo10_->setText(QString::number(upDown10_->position()));
    if (trackBar10_->value() == upDown10_->position()) return;
    trackBar10_->setPositionSilently(upDown10_->position());
    c_.setVelocity(upDown10_->position());
    c_.editing().auditionNote();
}

void ParameterPanel::TrackBar10Change() {
    if (upDown10_->position() == trackBar10_->value()) return;
    upDown10_->setPosition(trackBar10_->value());
    memo10_->setText(QString::number(upDown10_->position()));
    c_.setVelocity(upDown10_->position());
    c_.editing().auditionNote();
}

void ParameterPanel::auto_pClick() { c_.toggleAutoPreview(); }

void ParameterPanel::Pop_Val1Popup(int row) {
    QAction* item = rows_[static_cast<size_t>(row - 1)].autoItem;
    item->setChecked(c_.state().autoPreview);
    item->setEnabled(c_.session().preview());
}

bool ParameterPanel::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusIn) {
        if (watched == memo10_) {
            trackBar10_->setFocus(Qt::OtherFocusReason);
            return false;
        }
        if (watched == editInst1_) {
            emit textEntryBegun(editInst1_);
            // Entering the box leaves its text unselected, so a keystroke never replaces the name.
            QTimer::singleShot(0, editInst1_, [box = editInst1_] { box->deselect(); });
            return false;
        }
        const int tag = watched->property("tag").toInt();
        if (tag >= 1 && tag <= 9 && watched == rows_[static_cast<size_t>(tag - 1)].memo) {
            Memo1Enter(tag);
            return false;
        }
        if (auto* w = qobject_cast<QWidget*>(watched)) emit entered(w);
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace kf::ui
