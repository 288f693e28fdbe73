// A kit of the library beside the document's grid, read-only: both sets as the grid shows
// them, with one note or a run of notes of one set selected (Shift with a click or an arrow
// key extends it). Ctrl+C copies the notes into the editor's clipboard; a drag carries them
// to a cell of the document's grid.
#pragma once

#include <QTableView>
#include <utility>
#include <vector>

#include "editor/editor_controller.h"

namespace kf::ui {

class GridModel;

class LibraryGrid : public QTableView {
    Q_OBJECT
public:
    explicit LibraryGrid(EditorController& controller, QWidget* parent = nullptr);

    // Shows a copy of the kit, note 0 of set 1 selected.
    void showKit(const Kit& kit);
    const Kit& kit() const { return kit_; }
    int selectedSet() const { return set_; }
    // The first and the last note of the run.
    std::pair<int, int> selectedNotes() const;
    QModelIndex cellIndex(int set, int note) const;
    QString cellText(int set, int note) const;

    void copyNotes();

signals:
    // Focus came to it.
    void entered(QWidget* control);

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex& index,
                                                         const QEvent* event = nullptr) const override;
    void keyboardSearch(const QString&) override {}

private:
    // The current cell moved: the run starts over there, or reaches there from its anchor.
    void follow(int set, int note);
    void dragNotes();
    std::vector<DrumNoteEntry> selectedEntries() const;

    EditorController& c_;
    GridModel* model_;
    Kit kit_;
    int set_ = 1, anchor_ = 0, note_ = 0;
    // The move under way extends the run (Shift held).
    mutable bool extending_ = false;
    // A press that may become a drag, and whether it fell inside the run.
    bool pressed_ = false, pressedInside_ = false;
    QPoint pressedAt_;
};

}  // namespace kf::ui
