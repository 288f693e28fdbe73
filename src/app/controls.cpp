#include "app/controls.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMouseEvent>

#include <QKeyEvent>
#include <QSignalBlocker>
#include <QToolButton>
#include <QVBoxLayout>

namespace kf::ui {

namespace {
class HoldFilter : public QObject {
public:
    HoldFilter(QObject* parent, std::function<void()> down, std::function<void()> up, bool anyRelease)
        : QObject(parent), down_(std::move(down)), up_(std::move(up)), anyRelease_(anyRelease) {}
    ~HoldFilter() override { letGo(); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        const auto type = event->type();
        if (watched != parent()) {
            // Held: the release may reach a pop-up or any other widget; it ends the note all the
            // same. A window's own copy of the event comes first and is not the one widgets get.
            if (type == QEvent::MouseButtonRelease && held_ && watched->isWidgetType()) end(event);
            return false;
        }
        if (type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick) {
            const auto* me = static_cast<QMouseEvent*>(event);
            ended_ = nullptr;
            if (me->button() == Qt::LeftButton && !held_ && static_cast<QWidget*>(watched)->isEnabled()) {
                held_ = true;
                qApp->installEventFilter(this);
                down_();
            }
        } else if (type == QEvent::MouseButtonRelease) {
            if (held_) end(event);
            else if (event == ended_) ended_ = nullptr;
            else if (anyRelease_) up_();
        }
        return false;
    }

private:
    void end(const QEvent* release) {
        letGo();
        ended_ = release;  // the same release may still come to the button itself
        up_();
    }
    void letGo() {
        if (!held_) return;
        held_ = false;
        qApp->removeEventFilter(this);
    }

    std::function<void()> down_, up_;
    bool anyRelease_;
    bool held_ = false;
    const QEvent* ended_ = nullptr;
};
}  // namespace

void holdToSound(QAbstractButton* button, std::function<void()> down, std::function<void()> up, bool anyRelease) {
    // A menu opened over a held button would take its release: its presses are its own.
    button->setContextMenuPolicy(Qt::PreventContextMenu);
    button->installEventFilter(new HoldFilter(button, std::move(down), std::move(up), anyRelease));
}

UpDown::UpDown(QWidget* parent, int minimum, int maximum)
    : QWidget(parent), minimum_(minimum), maximum_(maximum), position_(minimum) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    up_ = new QToolButton(this);
    down_ = new QToolButton(this);
    for (QToolButton* b : {up_, down_}) {
        b->setFocusPolicy(Qt::NoFocus);
        b->setAutoRepeat(true);
        b->setFixedSize(16, 11);
        layout->addWidget(b);
    }
    up_->setArrowType(Qt::UpArrow);
    down_->setArrowType(Qt::DownArrow);
    connect(up_, &QToolButton::clicked, this, [this] { step(+1); });
    connect(down_, &QToolButton::clicked, this, [this] { step(-1); });
    setFixedSize(16, 22);
}

void UpDown::setPosition(int p) { position_ = std::max(minimum_, std::min(maximum_, p)); }

void UpDown::step(int delta) {
    setPosition(position_ + delta);
    emit clicked();
}

void ClickLabel::mouseReleaseEvent(QMouseEvent* event) {
    QLabel::mouseReleaseEvent(event);
    emit clicked();
}

TrackBar::TrackBar(QWidget* parent) : QSlider(Qt::Horizontal, parent) {
    setRange(0, 127);
    setPageStep(8);
    setSingleStep(1);
    setTickInterval(16);
    setTickPosition(QSlider::TicksBelow);
    setFocusPolicy(Qt::StrongFocus);
}

void TrackBar::setPositionSilently(int p) {
    const QSignalBlocker quiet(this);
    setValue(p);
}

void TrackBar::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Up: triggerAction(QAbstractSlider::SliderPageStepAdd); return;
        case Qt::Key_Down: triggerAction(QAbstractSlider::SliderPageStepSub); return;
        case Qt::Key_Left: triggerAction(QAbstractSlider::SliderSingleStepSub); return;
        case Qt::Key_Right: triggerAction(QAbstractSlider::SliderSingleStepAdd); return;
        // As on the trackbars the panel was drawn for: Page Down raises, Page Up lowers.
        case Qt::Key_PageDown: triggerAction(QAbstractSlider::SliderPageStepAdd); return;
        case Qt::Key_PageUp: triggerAction(QAbstractSlider::SliderPageStepSub); return;
        default: QSlider::keyPressEvent(event);
    }
}

}  // namespace kf::ui
