// The status bar: the hint line, the current cell, and an owner-drawn sliver.
#pragma once

#include <QStatusBar>

#include "editor/editor_controller.h"

class QLabel;

namespace kf::ui {

class StatusBar : public QStatusBar, public EditorObserver {
    Q_OBJECT
public:
    explicit StatusBar(QWidget* parent = nullptr);
    void setHint(const QString& text);
    QString hint() const;
    // "%d,%3d"
    void setCell(int set, int note);
    QString cell() const;

    void selectionChanged(int set, int note) override { setCell(set, note); }
    // How many notes differ from the module, while that is known.
    void differencesChanged(const VerifyReport* report) override;
    QString differences() const;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QLabel* panel0_;
    QLabel* panel1_;
    QLabel* differences_;
    QWidget* panel2_;
};

}  // namespace kf::ui
