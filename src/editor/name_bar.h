// The drum name bar: the names of the two user drum sets, committed when a box loses focus.
#pragma once

#include <QToolBar>

class QComboBox;
class QLabel;

namespace kf::ui {

struct Editor;

class NameBar : public QToolBar {
    Q_OBJECT
public:
    explicit NameBar(Editor& editor, QWidget* parent = nullptr);

    QComboBox* nameBox(int set) const { return set == 1 ? editName1_ : editName2_; }
    QLabel* label(int set) const { return set == 1 ? labelDN1_ : labelDN2_; }

    // Suggestions from the reference tables, kept sorted.
    void setSuggestions(const QStringList& names);
    // Shows the Kit's names in both boxes.
    void showNames();

    // Handlers shared by both boxes.
    bool EditName1KeyPress(int set, const QString& typed);
    void EditName1Enter(int set);
    void EditName1Exit(int set);

    // The view pop-up, opened by right clicks on the bar and its labels.
    QMenu* viewMenu = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    Editor& e_;
    QLabel* labelDN1_;
    QLabel* labelDN2_;
    QComboBox* editName1_;
    QComboBox* editName2_;
};

}  // namespace kf::ui
