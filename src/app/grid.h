// The note grid: both user drum sets side by side, one row per MIDI note.
#pragma once

#include <QTableView>

#include "editor/editor_controller.h"

class QMenu;

namespace kf::ui {

class GridModel;

// The look and the keys both note grids share: fonts, header sizes, no editing in place.
void setUpGridView(QTableView* view);

class NoteGrid : public QTableView, public EditorObserver {
    Q_OBJECT
public:
    // menuActions fill the pop-up, PopGrid1; a null entry is a separator.
    NoteGrid(EditorController& controller, const QList<QAction*>& menuActions, QWidget* parent = nullptr);

    // Window set-up: the selection at set 1, note 0. The row numbers need none; the set names
    // come with setNameChanged.
    void setUp();

    void setCellText(int set, int note, const QString& text);
    QString cellText(int set, int note) const;
    void setHeader(int set, const QString& name);
    QString headerText(int set) const;

    // Moves the selection by program; runs the selection-change steps when it moves.
    void selectCell(int set, int note);
    void setCurrentGridRow(int note) { selectCell(selectedSet(), note); }
    void setCurrentGridColumn(int set) { selectCell(set, selectedNote()); }
    int selectedSet() const;
    int selectedNote() const;
    // The model index of a cell, for whoever needs to find it on screen.
    QModelIndex cellIndex(int set, int note) const;

    QMenu* PopGrid1;

    // Handlers.
    void Grid1SelectCell(int set, int note);
    void Grid1MouseDown(Qt::MouseButton button, int column, int row);
    void Grid1MouseUp(Qt::MouseButton button, int column, int row, const QPoint& globalPos);
    void Grid1DblClick();

    void noteChanged(int set, int note) override;
    void instrumentNameChanged(int set, int note) override { noteChanged(set, note); }
    void selectionChanged(int set, int note) override;
    void kitReplaced() override;
    void setNameChanged(int set) override;
    void differencesChanged(const VerifyReport* report) override;
    // Marked as differing from the module.
    bool cellMarked(int set, int note) const;

signals:
    // Focus came to the grid.
    void entered(QWidget* control);
    // A double click asks for the data input box.
    void dataBoxWanted();

protected:
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex& index,
                                                         const QEvent* event = nullptr) const override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    // Notes dragged from another kit: dropped on a cell, they are pasted there.
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    // Typing letters does not jump to a cell: the grid answers only to moving keys.
    void keyboardSearch(const QString&) override {}

private:
    // Grid coordinates of a point on one of the grid's parts: column 0 / row 0 are the headers.
    bool hitTest(QObject* part, const QPoint& pos, int* column, int* row) const;

    EditorController& c_;
    GridModel* model_;
    // A press on the row numbers: no scrolling until it is answered, and the row it chose
    // for the second press of a double click.
    bool holdScroll_ = false;
    int pressedRow_ = -1;
};

}  // namespace kf::ui
