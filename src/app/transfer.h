// Watches the MIDI queue while a transfer runs: progress and seconds left in the status bar,
// a 中止 button (and Esc in the grid) that drops what is queued, and the report of a device
// that did not take messages, once the transfer has ended.
#pragma once

#include <QObject>
#include <QString>

#include "app/dialogs.h"
#include "editor/editor_controller.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;
class QWidget;

namespace kf::ui {

class TransferMonitor : public QObject, public TransferWatch {
    Q_OBJECT
public:
    // Reports open over parent's window.
    TransferMonitor(EditorController& controller, Dialogs& dialogs, QWidget* parent = nullptr);
    ~TransferMonitor() override;

    // Shown while more than this much wire time is queued, until the queue is empty.
    static constexpr int kShowAboveMs = 500;

    bool active() const override;
    // The progress, the seconds left and 中止, in the order the status bar shows them.
    QList<QWidget*> widgets() const;
    QProgressBar* bar() const { return bar_; }
    QLabel* left() const { return left_; }
    QPushButton* cancelButton() const { return cancel_; }

    // Drops what is still queued, then silences the rhythm channel.
    void TransferCancelClick() override;
    // Lets the window run, with the progress shown, until everything queued has gone out or
    // the user cancelled. True when it went out.
    bool waitUntilSent() override;
    void waitFor(const Work& work) override;
    void waitUntil(const std::function<bool()>& done) override;
    // While the report of a failed device is up.
    bool reporting() const { return reporting_; }

    // What Esc in the grid does: cancels a transfer or a wait, if one runs.
    void cancelIfRunning();

signals:
    // The widgets show (a transfer runs) or go.
    void shownChanged(bool on);
    void finished();
    void reportAnswered();

private:
    void refresh();
    void showDropReport();
    void showWidgets(bool on);

    EditorController& c_;
    Dialogs& dialogs_;
    QWidget* window_;
    QProgressBar* bar_;
    QLabel* left_;
    QPushButton* cancel_;
    QTimer* tick_;
    bool shown_ = false;
    bool cancelled_ = false;
    QString pendingDrop_;
    bool dropPending_ = false;
    bool reporting_ = false;
    const Work* work_ = nullptr;  // the work being waited for
};

}  // namespace kf::ui
