#include "app/help.h"

#include <QApplication>
#include <QFileInfo>
#include <QPointer>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

#include "app/fonts.h"

namespace kf::ui {

QString helpAnchor(int context) { return context == 0 ? QStringLiteral("contents") : QString("topic-%1").arg(context); }

HelpViewer::HelpViewer(const QString& file, QWidget* parent) : QDialog(parent), file_(file), home_(parent) {
    setObjectName("HelpViewer");
    setWindowTitle(QStringLiteral("Kitforge ﾍﾙﾌﾟ"));
    setModal(false);
    resize(640, 520);
    browser_ = new QTextBrowser(this);
    browser_->setObjectName("HelpBrowser");
    browser_->setFont(uiFont(13));
    browser_->setOpenExternalLinks(false);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(browser_);
}

void HelpViewer::showTopic(int context) {
    shown_ = context;
    if (QFileInfo::exists(file_)) {
        QUrl url = QUrl::fromLocalFile(file_);
        url.setFragment(helpAnchor(context));
        browser_->setSource(url);
        browser_->scrollToAnchor(helpAnchor(context));
    } else {
        browser_->setHtml(QStringLiteral("<p>ﾍﾙﾌﾟﾌｧｲﾙ %1 が見つかりません。</p>").arg(file_.toHtmlEscaped()));
    }
    // A modal dialog blocks every window but its own: while one is open the viewer becomes
    // that dialog's window, so help can be read and scrolled beside it.
    QWidget* owner = QApplication::activeModalWidget();
    if (!owner) owner = home_;
    if (owner && owner != this && parentWidget() != owner) {
        const bool visible = isVisible();
        const QRect where = geometry();
        setParent(owner, windowFlags());
        if (visible) setGeometry(where);
    }
    show();
    raise();
    activateWindow();
}

}  // namespace kf::ui
