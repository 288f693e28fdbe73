// The four-tab options dialog: filled from the current values at every showing, applied on OK.
#pragma once

#include <functional>

#include <QDialog>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTabWidget;

namespace kf::ui {

class Dialogs;
class EditorController;
class ViewOptions;
class TrackBar;
class UpDown;

class OptionsDialog : public QDialog {
    Q_OBJECT
public:
    OptionsDialog(EditorController& controller, Dialogs& dialogs, ViewOptions& view, QWidget* parent = nullptr);


    void FormShow();
    void OKBtnClick();
    void HelpBtnClick();
    void RB_io1Click();
    void RB_io2Click();
    void cmd_DirClick();
    void cmd_SoundFontClick();
    void RadioGroup2Click();
    void CheckPreview1Click();
    void TrackBar1Change();
    void UpDownVel1Click();

    // Opens a help topic: set by the main window.
    std::function<void(int)> openHelp;

    QTabWidget* pageControl() const { return pages_; }
    QButtonGroup *fileType, *boxPosition, *sendAtStart, *useMap, *speed;
    QSpinBox* sysexPause;
    QSpinBox *partReverb, *partChorus, *partDelay;
    QCheckBox *checkAutoSave1, *checkComment1, *checkTool1, *checkName1, *checkData1, *checkStatus1, *checkScr1,
        *checkMax1, *checkPreview1, *checkAutoPreview, *checkInc1;
    QRadioButton *rbIo1, *rbIo2;
    QLineEdit* edit1;
    QPushButton* cmdDir;
    QLabel* label2;
    QLineEdit* memo1;
    UpDown* upDownVel1;
    TrackBar* trackBar1;
    QComboBox* portList;
    // The input: where the module's answers and a keyboard come in.
    QComboBox* inPortList;
    QCheckBox *checkOneByOne1, *checkThru1, *checkSelectByInput, *checkVerifyAfterSend;
    QLineEdit* soundFont;
    QPushButton* cmdSoundFont;
    QComboBox* audioDriver;
    QPushButton *okBtn, *cancelBtn, *helpBtn;

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    EditorController& c_;
    Dialogs& dialogs_;
    ViewOptions& view_;
    QTabWidget* pages_;
};

}  // namespace kf::ui
