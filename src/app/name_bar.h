// The drum name bar: the names of the two user drum sets, committed when a box loses focus.
#pragma once

#include <QToolBar>

#include "editor/editor_controller.h"

class QComboBox;
class QCompleter;
class QLabel;
class QStringListModel;

namespace kf::ui {

class NameBar : public QToolBar, public EditorObserver {
    Q_OBJECT
public:
    explicit NameBar(EditorController& controller, QWidget* parent = nullptr);

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

    // The suggestions shown while typing in a box.
    QCompleter* suggestions(int set) const { return set == 1 ? suggest1_ : suggest2_; }

    // Opens the view pop-up at a global position: right clicks on the bar and its labels.
    std::function<void(const QPoint&)> popViewMenu;

    void kitReplaced() override { showNames(); }

signals:
    void textEntryBegun(QWidget* box);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    int setOf(const QObject* o) const;
    void focusMoved(QWidget* old, QWidget* now);
    void suggest(int set, const QString& typed);

    EditorController& c_;
    QStringListModel* names_;
    QCompleter* suggest1_;
    QCompleter* suggest2_;
    // The box that lost the focus to no control of this window (a menu, a dialog, another
    // program): committed when the focus next reaches another control here, not at all when it
    // comes back to the box.
    int pending_ = 0;
    QLabel* labelDN1_;
    QLabel* labelDN2_;
    QComboBox* editName1_;
    QComboBox* editName2_;
};

}  // namespace kf::ui
