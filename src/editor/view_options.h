// Which pieces of window furniture show: tool bar, name bar, data input box (above or
// below the grid) and status bar, with their menu check marks.
#pragma once

#include <QObject>

class QAction;
class QMenu;
class QToolBar;
class QVBoxLayout;
class QWidget;

namespace kf::ui {

struct ViewParts {
    QToolBar* toolBar = nullptr;
    QToolBar* nameBar = nullptr;
    QWidget* statusBar = nullptr;
    QWidget* dataBox = nullptr;
    QVBoxLayout* leftPanel = nullptr;  // holds the data box and the grid
    QWidget* grid = nullptr;
    QAction* dataUp = nullptr;
    QAction* dataDown = nullptr;
};

class ViewOptions : public QObject {
    Q_OBJECT
public:
    ViewOptions(const ViewParts& parts, QObject* parent);

    QMenu* viewMenu(QWidget* parent);  // "表示(&V)"
    QMenu* popupMenu(QWidget* parent);  // PopView1

    void SetToolBarVisible(bool v);
    void SetNameBarVisible(bool v);
    void SetStatusBarVisible(bool v);
    void SetDataBoxVisible(bool v);
    void SetDataBoxAtBottom(bool v);

    bool toolBarVisible() const { return toolBar_; }
    bool nameBarVisible() const { return nameBar_; }
    bool statusBarVisible() const { return statusBar_; }
    bool dataBoxVisible() const { return dataBox_; }
    bool dataBoxAtBottom() const { return atBottom_; }

    void Tool1Click() { SetToolBarVisible(!toolBar_); }
    void DrumName1Click() { SetNameBarVisible(!nameBar_); }
    void Data1Click() { SetDataBoxVisible(!dataBox_); }
    void Status1Click() { SetStatusBarVisible(!statusBar_); }

    QAction *Tool1, *DrumName1, *Data1, *Status1;
    QAction *Tool2, *DrumName2, *Data2, *Status2;

private:
    void ShowCoolBand(QToolBar* bar, bool v);
    bool flip(bool& flag, bool v, QAction* menuItem, QAction* popupItem);

    ViewParts parts_;
    bool toolBar_ = true, nameBar_ = true, statusBar_ = true, dataBox_ = true, atBottom_ = true;
};

}  // namespace kf::ui
