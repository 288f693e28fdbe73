#include "editor/controls.h"

#include <QKeyEvent>
#include <QSignalBlocker>
#include <QToolButton>
#include <QVBoxLayout>

namespace kf::ui {

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
        default: QSlider::keyPressEvent(event);
    }
}

}  // namespace kf::ui
