#include "app/title_window.h"

#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QProgressBar>
#include <QScreen>

#include "app/actions.h"
#include "app/fonts.h"

namespace kf::ui {

namespace {
// Drawn twice, a highlight copy one pixel down and right beneath the text: an engraved look.
void engraved(QWidget* parent, const QString& text, int pixelSize, QPoint at) {
    QFont f = uiFont(pixelSize);
    f.setBold(true);
    // Colours by palette, not by style sheet: the first style sheet of a program costs a
    // style of its own, and a label draws no background of its own anyway.
    auto* light = new QLabel(text, parent);
    light->setFont(f);
    QPalette highlight = light->palette();
    highlight.setColor(QPalette::WindowText, highlight.color(QPalette::HighlightedText));
    light->setPalette(highlight);
    light->move(at + QPoint(1, 1));
    light->adjustSize();
    auto* dark = new QLabel(text, parent);
    dark->setFont(f);
    dark->move(at);
    dark->adjustSize();
}
}  // namespace

TitleWindow::TitleWindow(QWidget* parent) : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint) {
    setObjectName("Kfg_Title");
    setFixedSize(272, 169);
    setFont(uiFont(12));
    setCursor(Qt::BusyCursor);
    auto* panel = new QFrame(this);
    panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    panel->setGeometry(rect());
    auto* line = new QFrame(this);
    line->setFrameStyle(QFrame::Box | QFrame::Sunken);
    line->setGeometry(11, 12, 250, 145);
    engraved(this, QStringLiteral("Kitforge"), 27, QPoint(24, 24));
    engraved(this, QStringLiteral("Version 1.27"), 21, QPoint(120, 48));
    progress_ = new QProgressBar(this);
    progress_->setObjectName("ProgressBar1");
    progress_->setGeometry(24, 128, 225, 17);
    progress_->setRange(0, 100);
    progress_->setTextVisible(false);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->geometry().center() - rect().center());
}

}  // namespace kf::ui
