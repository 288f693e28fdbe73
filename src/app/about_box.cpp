#include "app/about_box.h"

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QStyle>

#include "app/fonts.h"
#include "app/icons.h"

namespace kf::ui {

AboutBox::AboutBox(QWidget* parent) : QDialog(parent) {
    setObjectName("AboutBox");
    setWindowTitle(QStringLiteral("Kitforge のﾊﾞｰｼﾞｮﾝ情報"));
    setFixedSize(267, 167);
    setFont(uiFont(12));
    setProperty("helpContext", 47);
    auto* panel = new QFrame(this);
    panel->setObjectName("Panel1");
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    panel->setGeometry(9, 8, 249, 105);
    auto* icon = new QLabel(panel);
    icon->setObjectName("ProgramIcon");
    icon->setPixmap(icons::program().pixmap(32, 32));
    icon->setGeometry(24, 16, 32, 32);
    auto* product = new QLabel(QStringLiteral("Kitforge"), panel);
    product->setObjectName("ProductName");
    product->move(86, 16);
    product->adjustSize();
    auto* version = new QLabel(QStringLiteral("Version 1.27"), panel);
    version->setObjectName("Version1");
    version->move(86, 39);
    version->adjustSize();
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName("OKButton");
    ok->setGeometry(96, 127, 64, 33);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    // Esc closes a QDialog as its cancel; Enter presses the default button.
}

}  // namespace kf::ui
