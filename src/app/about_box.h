// The version box.
#pragma once

#include <QDialog>

namespace kf::ui {

class AboutBox : public QDialog {
    Q_OBJECT
public:
    explicit AboutBox(QWidget* parent = nullptr);
};

}  // namespace kf::ui
