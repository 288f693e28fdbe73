// Comparing the document with the module from the window: the two commands of the Tools menu
// and the box that lists what differs.
#pragma once

#include <QDialog>
#include <QObject>

#include "app/dialogs.h"
#include "editor/editor_controller.h"

class QAction;
class QLabel;
class QTableWidget;

namespace kf::ui {

// Set, note, parameter, the Kit's value and the module's, a row each; 違う所を送信 closes it
// with Send.
class DifferencesBox : public QDialog {
    Q_OBJECT
public:
    enum { Send = 2 };
    DifferencesBox(QWidget* parent, const QString& summary, const VerifyReport& report);

private:
    QLabel* summary_;
    QTableWidget* list_;
};

class CompareCommands : public QObject, public EditorObserver {
    Q_OBJECT
public:
    CompareCommands(EditorController& controller, Dialogs& dialogs, QWidget* window);

    QAction* Verify1;
    QAction* SendDiff1;

    void Verify1Click();
    void SendDiff1Click();
    void compareEnded(const ModuleSession::Compare& result, bool afterTransfer) override;

private:
    // What a compare found, told as the result needs: a box of differences, a word of
    // agreement, or the ports that gave no answer. The box's send runs SendDiff1Click.
    void show(const ModuleSession::Compare& result, bool quietWhenSame);

    EditorController& c_;
    Dialogs& dialogs_;
    QWidget* window_;
};

}  // namespace kf::ui
