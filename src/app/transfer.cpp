#include "app/transfer.h"

#include <QApplication>
#include <algorithm>
#include <chrono>
#include <QEventLoop>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QTimer>

#include "app/dialogs.h"

namespace kf::ui {

namespace {
// Runs f on the GUI thread later, if the monitor still exists then.
template <class F>
void post(QPointer<TransferMonitor> monitor, F f) {
    QMetaObject::invokeMethod(
        qApp,
        [monitor, f] {
            if (monitor) f(monitor.data());
        },
        Qt::QueuedConnection);
}
}  // namespace

TransferMonitor::TransferMonitor(EditorController& controller, Dialogs& dialogs, QWidget* parent)
    : QObject(parent), c_(controller), dialogs_(dialogs), window_(parent) {
    bar_ = new QProgressBar;
    bar_->setObjectName("TransferBar1");
    bar_->setFixedWidth(140);
    bar_->setTextVisible(false);
    left_ = new QLabel;
    left_->setObjectName("TransferLeft1");
    cancel_ = new QPushButton(QStringLiteral("中止"));
    cancel_->setObjectName("TransferCancel1");
    cancel_->setStatusTip(QStringLiteral("送信を中止します。|送信待ちのﾒｯｾｰｼﾞを捨て、ALL SOUND OFF を送ります。"));
    cancel_->setFocusPolicy(Qt::TabFocus);
    connect(cancel_, &QPushButton::clicked, this, &TransferMonitor::TransferCancelClick);
    for (QWidget* w : widgets()) w->hide();
    tick_ = new QTimer(this);
    tick_->setInterval(100);
    connect(tick_, &QTimer::timeout, this, &TransferMonitor::refresh);

    // Both are called on the sender thread: hand them to the GUI thread.
    QPointer<TransferMonitor> self(this);
    c_.preview().watchQueue([self] { post(self, [](TransferMonitor* m) { m->refresh(); }); }, [self](const std::string& port) {
        const QString name = QString::fromStdString(port);
        post(self, [name](TransferMonitor* m) {
            m->pendingDrop_ = name;
            m->dropPending_ = true;
            m->refresh();
        });
    });
}

TransferMonitor::~TransferMonitor() {
    c_.preview().watchQueue({}, {});
}

bool TransferMonitor::active() const { return !c_.session().progress().idle(); }

QList<QWidget*> TransferMonitor::widgets() const { return {left_, bar_, cancel_}; }

void TransferMonitor::cancelIfRunning() {
    if (active() || work_) TransferCancelClick();
}

void TransferMonitor::showWidgets(bool on) {
    if (on) emit shownChanged(true);
    for (QWidget* w : widgets()) w->setVisible(on);
    shown_ = on;
    if (!on) emit shownChanged(false);
}

void TransferMonitor::refresh() {
    if (work_) return;  // the bar shows the work
    const SendProgress p = c_.session().progress();
    if (p.idle()) {
        tick_->stop();
        if (shown_) {
            bar_->setValue(bar_->maximum());
            showWidgets(false);
        }
        emit finished();
        showDropReport();
        return;
    }
    if (!tick_->isActive()) tick_->start();
    const double seconds = std::chrono::duration<double>(p.left).count();
    if (!shown_ && seconds * 1000 <= kShowAboveMs) return;
    const int total = static_cast<int>(p.sent + p.queued);
    bar_->setMaximum(total);
    bar_->setValue(static_cast<int>(p.sent));
    left_->setText(QStringLiteral("送信中 %1/%2  残り %3 秒").arg(p.sent).arg(total).arg(seconds, 0, 'f', 1));
    if (!shown_) showWidgets(true);
}

void TransferMonitor::TransferCancelClick() {
    cancelled_ = true;
    if (work_) {
        work_->cancel();
        return;
    }
    c_.preview().cancelQueue();
    refresh();
}

void TransferMonitor::waitUntil(const std::function<bool()>& done) {
    // Only for the short wait for the port at start. Every processEvents delivers what was
    // posted, whatever woke the thread; a wait for the wake-up itself is what Windows' event
    // dispatcher could sleep through (the very event that ends the wait delivered, then no
    // other one coming, and even its timers not firing under Wine). So: deliver, doze a
    // moment, look again.
    while (!done()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        if (!done()) QThread::msleep(1);
    }
}

void TransferMonitor::waitFor(const Work& work) {
    work_ = &work;
    QEventLoop loop;
    QTimer poll;
    poll.setInterval(50);
    const auto start = std::chrono::steady_clock::now();
    auto show = [&] {
        if (work.finished()) {
            loop.quit();
            return;
        }
        const auto [done, planned] = work.progress();
        bar_->setMaximum(std::max(planned, 1));
        bar_->setValue(done);
        // What is left at the pace so far.
        const double spent = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const double left = done > 0 ? spent * (planned - done) / done : 0.0;
        left_->setText(QStringLiteral("%1 %2/%3  残り %4 秒")
                           .arg(QString::fromStdString(work.label))
                           .arg(done)
                           .arg(planned)
                           .arg(left, 0, 'f', 1));
    };
    connect(&poll, &QTimer::timeout, &loop, show);
    showWidgets(true);
    show();
    poll.start();
    if (!work.finished()) loop.exec();
    showWidgets(false);
    work_ = nullptr;
    refresh();
}

bool TransferMonitor::waitUntilSent() {
    cancelled_ = false;
    c_.preview().releaseQueue();
    if (!active()) return true;
    QEventLoop loop;
    connect(this, &TransferMonitor::finished, &loop, &QEventLoop::quit);
    refresh();
    if (!shown_) {
        // Whatever is left, the user sees what is being waited for and can stop it.
        showWidgets(true);
        refresh();
    }
    if (active()) loop.exec();
    return !cancelled_;
}

void TransferMonitor::showDropReport() {
    if (!dropPending_ || reporting_) return;
    dropPending_ = false;
    reporting_ = true;
    dialogs_.report(window_ ? window_->window() : QApplication::activeWindow(), QMessageBox::Warning,
                      QStringLiteral("ﾌﾟﾚﾋﾞｭｰ機能"),
                      QStringLiteral("MIDIﾃﾞﾊﾞｲｽ %1 がﾒｯｾｰｼﾞを受け付けません。\r\n接続を確かめてください。")
                          .arg(pendingDrop_));
    reporting_ = false;
    emit reportAnswered();
}

}  // namespace kf::ui
