// Small controls the toolkit lacks: an up-down pair of arrows, a label that reports clicks,
// and a slider whose Up/Down keys move by a page.
#pragma once

#include <QLabel>
#include <QSlider>
#include <QWidget>

#include <functional>

class QAbstractButton;
class QToolButton;

namespace kf::ui {

// Two arrow buttons over a position; clicked() follows a user's click, after the move.
class UpDown : public QWidget {
    Q_OBJECT
public:
    explicit UpDown(QWidget* parent = nullptr, int minimum = 0, int maximum = 127);
    int position() const { return position_; }
    // Clamps; raises no signal.
    void setPosition(int p);
    void clickUp() { step(+1); }
    void clickDown() { step(-1); }

signals:
    void clicked();

private:
    void step(int delta);
    int minimum_, maximum_, position_;
    QToolButton* up_;
    QToolButton* down_;
};

class ClickLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;
signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};

// 0..127, page 8, a tick every 16; Up raises by a page and Down lowers by one, Left and
// Right keep steps of one.
class TrackBar : public QSlider {
    Q_OBJECT
public:
    explicit TrackBar(QWidget* parent = nullptr);
    // Sets the position without raising a change.
    void setPositionSilently(int p);

protected:
    void keyPressEvent(QKeyEvent* event) override;
};

// A button held to sound a note: a left press calls down once, its release (whichever button,
// wherever the pointer is by then) calls up once. Leaving the button while it is held and
// coming back does neither, unlike the button's own pressed and released signals. With
// anyRelease, every release calls up, after a press of any button.
void holdToSound(QAbstractButton* button, std::function<void()> down, std::function<void()> up,
                 bool anyRelease = false);

}  // namespace kf::ui
