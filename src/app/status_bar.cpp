#include "app/status_bar.h"

#include <QLabel>

namespace kf::ui {

StatusBar::StatusBar(QWidget* parent) : QStatusBar(parent) {
    setObjectName("StatusBar1");
    setFixedHeight(25);
    panel0_ = new QLabel(this);
    panel0_->setObjectName("StatusPanel0");
    panel1_ = new QLabel(QStringLiteral("1,   1"), this);
    panel1_->setObjectName("StatusPanel1");
    panel1_->setAlignment(Qt::AlignCenter);
    panel1_->setFixedWidth(60);
    panel1_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    panel2_ = new QWidget(this);
    panel2_->setFixedWidth(1);
    panel0_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    addWidget(panel0_, 1);
    differences_ = new QLabel(this);
    differences_->setObjectName("StatusDifferences");
    differences_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    differences_->hide();
    addPermanentWidget(differences_);
    addPermanentWidget(panel1_);
    addPermanentWidget(panel2_);
}

void StatusBar::setHint(const QString& text) { panel0_->setText(text); }
QString StatusBar::hint() const { return panel0_->text(); }
void StatusBar::setCell(int set, int note) { panel1_->setText(QString::asprintf("%d,%3d", set, note)); }
QString StatusBar::cell() const { return panel1_->text(); }

void StatusBar::differencesChanged(const VerifyReport* report) {
    differences_->setVisible(report != nullptr);
    if (!report) return;
    if (report->same()) {
        differences_->setText(QStringLiteral("ﾓｼﾞｭｰﾙと同じ"));
        return;
    }
    QString text = QStringLiteral("ﾓｼﾞｭｰﾙと違う音色: %1").arg(report->notesDiffering());
    if (report->namesDiffering() > 0) text += QStringLiteral("、ｾｯﾄ名: %1").arg(report->namesDiffering());
    differences_->setText(text);
}

QString StatusBar::differences() const { return differences_->isHidden() ? QString() : differences_->text(); }

void StatusBar::resizeEvent(QResizeEvent* event) {
    QStatusBar::resizeEvent(event);
    // The hint line takes all the room the other panels and the size grip leave (its
    // stretch does that); it must not hold the window wider than the user makes it.
    panel0_->setMinimumWidth(0);
}

}  // namespace kf::ui
