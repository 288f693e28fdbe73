#include "app/data_box.h"

#include "app/controls.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStyle>
#include <QToolButton>

#include "app/fonts.h"
#include "editor/text.h"

namespace kf::ui {

DataBox::DataBox(EditorController& controller, QWidget* parent) : QFrame(parent), c_(controller) {
    setObjectName("DataBox1");
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setFixedHeight(120);
    setProperty("helpContext", 16);
    auto* layout = new QGridLayout(this);
    layout->setContentsMargins(6, 4, 6, 4);
    layout->setVerticalSpacing(2);

    auto* label11 = new QLabel("Drum Set", this);
    label11->setObjectName("Label11");
    listMap1_ = new QComboBox(this);
    listMap1_->setObjectName("ListMap1");
    listMap1_->setFont(fixedFont(15));
    listMap1_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    listMap1_->setMinimumContentsLength(12);
    listMap1_->setStatusTip(QStringLiteral("挿入する音色のﾏｯﾌﾟを選択します。"));
    bevel1_ = new QFrame(this);
    bevel1_->setObjectName("Bevel1");
    bevel1_->setFrameStyle(QFrame::HLine | QFrame::Sunken);
    auto* label12 = new QLabel("Instrument", this);
    label12->setObjectName("Label12");
    listInst1_ = new QComboBox(this);
    listInst1_->setObjectName("ListInst1");
    listInst1_->setFont(fixedFont(15));
    listInst1_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    listInst1_->setMinimumContentsLength(12);
    listInst1_->setStatusTip(QStringLiteral("挿入する音色を選択します。"));
    listInst1_->installEventFilter(this);
    spPreview2_ = new QToolButton(this);
    spPreview2_->setObjectName("SP_Preview2");
    spPreview2_->setIcon(style()->standardIcon(QStyle::SP_MediaVolume));
    spPreview2_->setStatusTip(QStringLiteral("挿入する音を鳴らします。"));
    spPreview2_->setToolTip(QStringLiteral("ﾌﾟﾚﾋﾞｭｰ"));
    button1_ = new QPushButton(QStringLiteral("入力"), this);
    button1_->setObjectName("Button1");
    button1_->setStatusTip(QStringLiteral("指定されたｾﾙにﾃﾞｰﾀを入力します。"));

    layout->addWidget(label11, 0, 0, 1, 3);
    layout->addWidget(listMap1_, 1, 0, 1, 3);
    layout->addWidget(bevel1_, 2, 0, 1, 3);
    layout->addWidget(label12, 3, 0, 1, 3);
    layout->addWidget(listInst1_, 4, 0);
    layout->addWidget(spPreview2_, 4, 1);
    layout->addWidget(button1_, 4, 2);
    layout->setColumnStretch(0, 1);

    for (QWidget* w : {static_cast<QWidget*>(listMap1_), static_cast<QWidget*>(listInst1_),
                       static_cast<QWidget*>(button1_), static_cast<QWidget*>(spPreview2_)})
        w->installEventFilter(this);

    connect(listMap1_, &QComboBox::activated, this, [this] { ListMap1Change(); });
    // However the shown set changes, the next start shows it again.
    connect(listMap1_, &QComboBox::currentIndexChanged, this,
            [this](int item) { c_.rememberDrumSet(c_.state().tables.drumSetSetting(item)); });
    connect(listInst1_, &QComboBox::activated, this, [this] { ListInst1Click(); });
    connect(button1_, &QPushButton::clicked, this, &DataBox::Button1Click);
    holdToSound(spPreview2_, [this] { SP_Preview2MouseDown(); }, [this] { SP_Preview2MouseUp(); });

    popIns1_ = new QMenu(this);
    popIns1_->setObjectName("Pop_Ins1");
    popIns1_->setProperty("helpContext", 16);
    DataClose1 = popIns1_->addAction(QStringLiteral("閉じる"));
    DataClose1->setObjectName("DataClose1");
    DataClose1->setStatusTip(QStringLiteral("ﾃﾞｰﾀ入力ﾎﾞｯｸｽを閉じます。"));
    popIns1_->addSeparator();
    DataUp1 = popIns1_->addAction(QStringLiteral("上に移動"));
    DataUp1->setObjectName("DataUp1");
    DataUp1->setStatusTip(QStringLiteral("このﾎﾞｯｸｽをｼｰﾄの上に移動します。"));
    DataDown1 = popIns1_->addAction(QStringLiteral("下に移動"));
    DataDown1->setObjectName("DataDown1");
    DataDown1->setStatusTip(QStringLiteral("このﾎﾞｯｸｽをｼｰﾄの下に移動します。"));
    DataDown1->setEnabled(false);
    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& p) { popIns1_->popup(mapToGlobal(p)); });
}

void DataBox::setUp() {
    const ReferenceTables& t = c_.state().tables;
    {
        const QSignalBlocker quiet(listMap1_);
        listMap1_->clear();
        for (const std::string& item : t.mapList) listMap1_->addItem(toUnicode(item));
        listMap1_->setCurrentIndex(t.selectedItem);
    }
    c_.rememberDrumSet(t.drumSetSetting(listMap1_->currentIndex()));
    FillInstrumentList();
    if (t.mapList.empty()) {
        for (QWidget* w : {static_cast<QWidget*>(listMap1_), static_cast<QWidget*>(listInst1_),
                           static_cast<QWidget*>(button1_)})
            w->setEnabled(false);
    }
}

void DataBox::selectInstrumentSilently(int index) {
    const QSignalBlocker quiet(listInst1_);
    listInst1_->setCurrentIndex(index);
}

void DataBox::FillInstrumentList() {
    const QSignalBlocker quiet(listInst1_);
    listInst1_->clear();
    const int m = listMap1_->currentIndex();
    if (m < 0 || m >= static_cast<int>(c_.state().tables.sets.size())) return;
    const PresetDrumSet& set = c_.state().tables.sets[static_cast<size_t>(m)];
    const int current = c_.state().currentNote;
    int selected = -1;
    for (int i = 0; i < kNoteCount; ++i) {
        const DrumInstrument& inst = set.instruments[static_cast<size_t>(i)];
        if (!inst.used) continue;
        listInst1_->addItem(QString::asprintf("%4d ", i) + toUnicode(inst.name));
        if (selected < 0 && i >= current) selected = listInst1_->count() - 1;
    }
    listInst1_->setCurrentIndex(selected >= 0 ? selected : listInst1_->count() - 1);
}

int DataBox::selectedInstrumentNote() const {
    const QString text = listInst1_->currentText();
    if (text.isEmpty()) return -1;
    bool ok = false;
    const int k = text.left(4).trimmed().toInt(&ok);
    return ok && k >= 0 && k < kNoteCount ? k : -1;
}

void DataBox::ListMap1Change() {
    FillInstrumentList();
    ListInst1Click();
}

void DataBox::ListInst1Click() {
    const int k = selectedInstrumentNote();
    const int m = listMap1_->currentIndex();
    if (!c_.state().autoPreview || k < 0 || m < 0) return;
    const PresetDrumSet& set = c_.state().tables.sets[static_cast<size_t>(m)];
    c_.preview().presetNoteOn(set.map, set.program, k);
    c_.preview().presetNoteOff(k);
}

void DataBox::enter(int set, int note) {
    const int m = listMap1_->currentIndex();
    const int k = selectedInstrumentNote();
    if (k < 0 || m < 0 || m >= static_cast<int>(c_.state().tables.sets.size())) return;
    c_.editing().enterInstrument(set, note, c_.state().tables.sets[static_cast<size_t>(m)], k);
}

void DataBox::Button1Click() {
    const EditorState& s = c_.state();
    if (s.busy || selectedInstrumentNote() < 0) return;
    const int set = s.currentSet;
    const int note = s.currentNote;
    enter(set, note);
    if (!s.options.increment) return;
    if (note < kNoteCount - 1) c_.selection().selectEditTarget(set, note + 1);
    const int target = s.currentNote;
    int found = -1;
    for (int i = 0; i < listInst1_->count(); ++i)
        if (listInst1_->itemText(i).left(4).trimmed().toInt() >= target) {
            found = i;
            break;
        }
    selectInstrumentSilently(found);
}

void DataBox::Insert1Click() {
    const EditorState& s = c_.state();
    if (s.busy) return;
    if (!isVisibleTo(parentWidget())) {
        showIfHidden();
        return;
    }
    if (selectedInstrumentNote() < 0) return;
    enter(s.editSet, s.editNote);
    if (s.options.increment && listInst1_->currentIndex() < listInst1_->count() - 1)
        selectInstrumentSilently(listInst1_->currentIndex() + 1);
}

void DataBox::previewChanged(bool on) { spPreview2_->setEnabled(on); }

void DataBox::showIfHidden() {
    if (isVisibleTo(parentWidget())) return;
    if (showBox) showBox();
    else show();
}

void DataBox::SP_Preview2MouseDown() {
    const int k = selectedInstrumentNote();
    const int m = listMap1_->currentIndex();
    sounding_ = false;
    if (!listMap1_->isEnabled() || k < 0 || m < 0) return;
    const PresetDrumSet& set = c_.state().tables.sets[static_cast<size_t>(m)];
    c_.preview().holdPresetNote(set.map, set.program, k);
    sounding_ = true;
}

void DataBox::SP_Preview2MouseUp() {
    // A press that sounded nothing (no instrument chosen) has nothing to stop.
    if (!listMap1_->isEnabled() || !sounding_) return;
    sounding_ = false;
    c_.preview().releasePresetNote();
}

bool DataBox::eventFilter(QObject* watched, QEvent* event) {
    if (watched == listInst1_ && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space) {
            Button1Click();
            return true;
        }
    }
    if (event->type() == QEvent::FocusIn) emit entered(qobject_cast<QWidget*>(watched));
    return QFrame::eventFilter(watched, event);
}

void DataBox::resizeEvent(QResizeEvent* event) {
    // The separator spans the box less its margins through the layout; fixing its width here
    // would hold the window wider than the user makes it.
    QFrame::resizeEvent(event);
}

}  // namespace kf::ui
