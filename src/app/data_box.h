// The data input box: pick a preset drum set and one of its instruments, hear it, enter it.
#pragma once

#include <QFrame>
#include <functional>

#include "editor/editor_controller.h"

class QComboBox;
class QLabel;
class QMenu;
class QPushButton;
class QToolButton;

namespace kf::ui {

class DataBox : public QFrame, public EditorObserver {
    Q_OBJECT
public:
    explicit DataBox(EditorController& controller, QWidget* parent = nullptr);

    // Window set-up: the drum set list from the reference tables, the instruments, the
    // disabled state without reference data.
    void setUp();

    QComboBox* mapList() const { return listMap1_; }
    QComboBox* instrumentList() const { return listInst1_; }
    QPushButton* enterButton() const { return button1_; }
    QToolButton* previewButton() const { return spPreview2_; }

    // The button sounds only while preview is on.
    void previewChanged(bool on) override;
    QMenu* popup() const { return popIns1_; }
    QAction *DataClose1 = nullptr, *DataUp1 = nullptr, *DataDown1 = nullptr;

    void FillInstrumentList();
    void ListMap1Change();
    void ListInst1Click();
    void Button1Click();
    void Insert1Click();
    void SP_Preview2MouseDown();
    void SP_Preview2MouseUp();
    void showIfHidden();
    // Shows the box the way the view options do; plain show() without them.
    std::function<void()> showBox;

    // The selected instrument's note number, from the first four characters of its text.
    int selectedInstrumentNote() const;

signals:
    // Focus came to one of the box's controls.
    void entered(QWidget* control);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void enter(int set, int note);
    void selectInstrumentSilently(int index);

    EditorController& c_;
    QComboBox* listMap1_;
    QComboBox* listInst1_;
    QPushButton* button1_;
    QToolButton* spPreview2_;
    QFrame* bevel1_;
    QMenu* popIns1_;
    bool quiet_ = false;
    bool sounding_ = false;  // the preview button's press sounded a note
};

}  // namespace kf::ui
