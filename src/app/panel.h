// The parameter panel: every parameter of the current note, edited by sliders, up-downs,
// check boxes and a radio group, sent to the module and auditioned.
#pragma once

#include <QWidget>
#include <array>
#include <cstdint>

#include "editor/editor_controller.h"
#include "model/kit.h"

class QButtonGroup;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QRadioButton;
class QScrollArea;

namespace kf::ui {

class ClickLabel;
class TrackBar;
class UpDown;

class ParameterPanel : public QWidget, public EditorObserver {
    Q_OBJECT
public:
    explicit ParameterPanel(EditorController& controller, QWidget* parent = nullptr);

    // The scroll box that holds the panel (ScrollBox1).
    QScrollArea* scrollBox() const { return scrollBox_; }

    // Window set-up: show set 1, note 0, then the start values with auto-preview held off.
    void setUp();

    // Shows a note's values; sends nothing.
    void showNote(int set, int note);
    // As the controls do it: shown, then applied.
    void setEffectType(int value);
    void setRxNoteOff(int value);
    void setRxNoteOn(int value);
    void updateEnabledState();
    void defClick(int row);
    // Shows a name in EditInst1 without treating it as an edit.
    void showInstrumentName(const QString& name);

    // Velocity of preview notes as the tool bar controls show it; they follow the controller's.
    int velocity() const;
    QWidget* velocityMemo() const;
    UpDown* velocityUpDown() const { return upDown10_; }
    TrackBar* velocityTrackBar() const { return trackBar10_; }

    // Controls, by their names' numbers.
    TrackBar* trackBar(int row) const { return rows_[static_cast<size_t>(row - 1)].track; }
    UpDown* upDown(int row) const { return rows_[static_cast<size_t>(row - 1)].upDown; }
    QLineEdit* memo(int row) const { return rows_[static_cast<size_t>(row - 1)].memo; }
    QLabel* label(int row) const;
    QMenu* valueMenu(int row) const { return rows_[static_cast<size_t>(row - 1)].menu; }
    QLineEdit* editInst() const { return editInst1_; }
    QCheckBox* rxNoteOffBox() const { return checkBox1_; }
    QCheckBox* rxNoteOnBox() const { return checkBox2_; }
    QRadioButton* effectButton(int type) const;

    // Handlers.
    void TrackBar1Change(int row);
    void UpDown1Click(int row);
    void Memo1Enter(int row);
    void CheckBox1Click();
    void CheckBox2Click();
    void RadioGroup1Click(int index);
    void EditInst1Change(const QString& text);
    void UpDown10Click();
    void TrackBar10Change();
    void auto_pClick();
    void Pop_Val1Popup(int row);

    void noteChanged(int set, int note) override;
    void selectionChanged(int set, int note) override { showNote(set, note); }
    void kitReplaced() override;
    void panelValueChanged(int row, int value) override { showRow(row, value); }
    void usedStateSettled() override { updateEnabledState(); }
    void velocityChanged(int velocity) override;

signals:
    // Focus came to one of the panel's controls, or to the instrument-name box.
    void entered(QWidget* control);
    void textEntryBegun(QWidget* box);

private:
    struct Row {
        ClickLabel* label = nullptr;
        QLineEdit* memo = nullptr;
        UpDown* upDown = nullptr;
        TrackBar* track = nullptr;
        QMenu* menu = nullptr;
        QAction* defItem = nullptr;
        QAction* autoItem = nullptr;
    };
    void buildRow(int row, const char* caption, const char* hint, int helpContext);
    void showRow(int row, int value);
    void showEffectType(int type);
    bool eventFilter(QObject* watched, QEvent* event) override;

    EditorController& c_;
    QScrollArea* scrollBox_;
    std::array<Row, 9> rows_;
    ClickLabel* label0_;
    ClickLabel* label10_;
    QLineEdit* editInst1_;
    int editInstTag_ = 1;
    QGroupBox* radioGroup1_;
    QButtonGroup* effectGroup_;
    QGroupBox* groupBox1_;
    QCheckBox* checkBox1_;
    QCheckBox* checkBox2_;
    QLineEdit* memo10_;
    UpDown* upDown10_;
    TrackBar* trackBar10_;
};

// Validator of instrument names: at most 20 bytes of Shift-JIS, nothing it cannot hold.
class SjisLengthValidator;

}  // namespace kf::ui
