// The frameless title shown while the program loads, with the table-loading progress.
#pragma once

#include <QWidget>

class QProgressBar;

namespace kf::ui {

class TitleWindow : public QWidget {
    Q_OBJECT
public:
    explicit TitleWindow(QWidget* parent = nullptr);
    QProgressBar* progressBar() const { return progress_; }

private:
    QProgressBar* progress_;
};

}  // namespace kf::ui
