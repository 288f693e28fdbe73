// The help document beside the program, shown in a viewer of its own, one anchor per topic.
#pragma once

#include <QDialog>

class QTextBrowser;

namespace kf::ui {

class HelpViewer : public QDialog {
    Q_OBJECT
public:
    HelpViewer(const QString& file, QWidget* parent = nullptr);
    // 0 shows the contents; another number the topic with that help context.
    void showTopic(int context);
    int shownTopic() const { return shown_; }
    QTextBrowser* browser() const { return browser_; }

private:
    QString file_;
    QWidget* home_;  // the main window, its owner while no modal dialog is open
    QTextBrowser* browser_;
    int shown_ = -1;
};

// "contents" for 0, else "topic-N".
QString helpAnchor(int context);

}  // namespace kf::ui
