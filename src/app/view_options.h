// Which pieces of window furniture show: tool bar, name bar, data input box (above or
// below the grid), status bar and the kit library, with their menu check marks. The window
// shows and places them as the signals say.
#pragma once

#include <QObject>

class QAction;
class QMenu;
class QWidget;

namespace kf::ui {

class ViewOptions : public QObject {
    Q_OBJECT
public:
    // dataUp and dataDown move the data box above or below the grid; each applies where the
    // box is not.
    ViewOptions(QAction* dataUp, QAction* dataDown, QObject* parent);

    QMenu* viewMenu(QWidget* parent);  // "表示(&V)"
    QMenu* popupMenu(QWidget* parent);  // PopView1

    void SetToolBarVisible(bool v);
    void SetNameBarVisible(bool v);
    void SetStatusBarVisible(bool v);
    void SetDataBoxVisible(bool v);
    void SetDataBoxAtBottom(bool v);
    void SetLibraryVisible(bool v);

    bool toolBarVisible() const { return toolBar_; }
    bool nameBarVisible() const { return nameBar_; }
    bool statusBarVisible() const { return statusBar_; }
    bool dataBoxVisible() const { return dataBox_; }
    bool dataBoxAtBottom() const { return atBottom_; }
    bool libraryVisible() const { return library_; }

    void Tool1Click() { SetToolBarVisible(!toolBar_); }
    void DrumName1Click() { SetNameBarVisible(!nameBar_); }
    void Data1Click() { SetDataBoxVisible(!dataBox_); }
    void Status1Click() { SetStatusBarVisible(!statusBar_); }
    void Library1Click() { SetLibraryVisible(!library_); }

    QAction *Tool1, *DrumName1, *Data1, *Status1;
    QAction *Tool2, *DrumName2, *Data2, *Status2;
    QAction* Library1;  // the kit library's dock, in the View menu only

signals:
    void toolBarShown(bool on);
    void nameBarShown(bool on);
    void statusBarShown(bool on);
    void dataBoxShown(bool on);
    void dataBoxPlaced(bool atBottom);
    void libraryShown(bool on);

private:
    bool flip(bool& flag, bool v, QAction* menuItem, QAction* popupItem);

    QAction* dataUp_;
    QAction* dataDown_;
    bool toolBar_ = true, nameBar_ = true, statusBar_ = true, dataBox_ = true, atBottom_ = true, library_ = false;
};

}  // namespace kf::ui
