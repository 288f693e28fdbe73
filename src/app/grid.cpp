#include "app/grid.h"

#include <QAbstractButton>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <cstdlib>

#include "app/fonts.h"
#include "app/grid_model.h"
#include "app/note_drag.h"
#include "editor/text.h"
#include "gs/device_commands.h"

namespace kf::ui {

namespace {
const char* kGridHint = "左の番号をｸﾘｯｸすると発音します。";
}

NoteGrid::NoteGrid(EditorController& controller, const QList<QAction*>& menuActions, QWidget* parent)
    : QTableView(parent), PopGrid1(new QMenu(this)), c_(controller), model_(new GridModel(this)) {
    setModel(model_);
    setObjectName("Grid1");
    PopGrid1->setObjectName("PopGrid1");
    PopGrid1->setProperty("helpContext", 52);
    for (QAction* a : menuActions) {
        if (a) PopGrid1->addAction(a);
        else PopGrid1->addSeparator();
    }
    setStatusTip(QString::fromUtf8(kGridHint));
    setUpGridView(this);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setCornerButtonEnabled(true);
    // Notes dragged from a kit of the library land here.
    setAcceptDrops(true);
    horizontalHeader()->viewport()->installEventFilter(this);
    verticalHeader()->viewport()->installEventFilter(this);
    if (auto* corner = findChild<QAbstractButton*>()) corner->installEventFilter(this);
    connect(selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& now, const QModelIndex& before) {
                // A move made while the grid's signals are blocked is the program's own and
                // is not announced (see setUp and selectionChanged).
                if (signalsBlocked() || !now.isValid()) return;
                if (now.row() != before.row() || now.column() != before.column())
                    Grid1SelectCell(now.column() + 1, now.row());
            });
    connect(this, &QAbstractItemView::doubleClicked, this, [this] { Grid1DblClick(); });
}

void setUpGridView(QTableView* view) {
    view->setFont(fixedFont(15));
    view->setSelectionBehavior(QAbstractItemView::SelectItems);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setTabKeyNavigation(false);
    view->setWordWrap(false);
    QHeaderView* top = view->horizontalHeader();
    top->setSectionsClickable(false);
    top->setHighlightSections(false);
    top->setSectionResizeMode(QHeaderView::Interactive);
    top->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    QHeaderView* side = view->verticalHeader();
    side->setSectionsClickable(false);
    side->setHighlightSections(false);
    side->setSectionResizeMode(QHeaderView::Fixed);
    side->setDefaultSectionSize(21);
    side->setMinimumSectionSize(21);
    side->setDefaultAlignment(Qt::AlignRight | Qt::AlignVCenter);
    side->setFixedWidth(44);
    side->setFont(fixedFont(15));
    view->setColumnWidth(0, 120);
    view->setColumnWidth(1, 120);
    view->setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
}

void NoteGrid::setUp() {
    const QSignalBlocker quiet(this);
    setCurrentIndex(cellIndex(1, 0));
}

QModelIndex NoteGrid::cellIndex(int set, int note) const { return model_->cell(set, note); }

void NoteGrid::setCellText(int set, int note, const QString& text) { model_->setText(set, note, text); }

// Read back as the grid shows them, through the model's display role.
QString NoteGrid::cellText(int set, int note) const { return model_->data(cellIndex(set, note)).toString(); }

void NoteGrid::setHeader(int set, const QString& name) { model_->setSetName(set, name); }

void NoteGrid::differencesChanged(const VerifyReport*) {
    for (int set = 1; set <= kSetCount; ++set)
        for (int note = 0; note < kNoteCount; ++note) model_->setMarked(set, note, c_.comparison().differs(set, note));
}

bool NoteGrid::cellMarked(int set, int note) const { return model_->marked(set, note); }

QString NoteGrid::headerText(int set) const { return model_->headerData(set - 1, Qt::Horizontal).toString(); }

int NoteGrid::selectedSet() const { return currentIndex().column() + 1; }
int NoteGrid::selectedNote() const { return currentIndex().row(); }

void NoteGrid::selectCell(int set, int note) {
    if (set == selectedSet() && note == selectedNote()) return;
    if (holdScroll_) {
        // A press on a row number: the row under the pointer stays there until the press has
        // been answered (see eventFilter).
        setAutoScroll(false);
        setCurrentIndex(cellIndex(set, note));
        setAutoScroll(true);
        return;
    }
    setCurrentIndex(cellIndex(set, note));
    // Only as far as needed: a row that is in view stays where the user sees it.
    scrollTo(cellIndex(set, note), QAbstractItemView::EnsureVisible);
}

void NoteGrid::noteChanged(int set, int note) {
    const DrumNoteEntry& entry = c_.document().kit().entry(set, note);
    setCellText(set, note, entry.used ? toUnicode(entry.name) : QString());
}

void NoteGrid::selectionChanged(int set, int note) {
    // The controller moved the current note: follow without announcing it back.
    if (set == selectedSet() && note == selectedNote()) return;
    {
        const QSignalBlocker quiet(this);
        setCurrentIndex(cellIndex(set, note));
    }
    scrollTo(cellIndex(set, note), QAbstractItemView::EnsureVisible);
}

void NoteGrid::kitReplaced() {
    for (int set = 1; set <= kSetCount; ++set) {
        setNameChanged(set);
        for (int n = 0; n < kNoteCount; ++n) noteChanged(set, n);
    }
}

void NoteGrid::setNameChanged(int set) { setHeader(set, toUnicode(c_.document().kit().setName(set))); }

QItemSelectionModel::SelectionFlags NoteGrid::selectionCommand(const QModelIndex& index, const QEvent* event) const {
    // Exactly one data cell is selected at any time: no deselecting, no ranges.
    if (!index.isValid()) return QItemSelectionModel::NoUpdate;
    if (event && event->type() == QEvent::MouseMove) return QItemSelectionModel::NoUpdate;
    return QItemSelectionModel::ClearAndSelect;
}

void NoteGrid::Grid1SelectCell(int set, int note) { c_.selection().selectCell(set, note); }

bool NoteGrid::hitTest(QObject* part, const QPoint& pos, int* column, int* row) const {
    if (part == viewport()) {
        *row = rowAt(pos.y()) + 1;
        *column = columnAt(pos.x()) + 1;
        if (*row == 0) *row = -1;
        if (*column == 0) *column = -1;
    } else if (part == horizontalHeader()->viewport()) {
        *row = 0;
        const int c = horizontalHeader()->logicalIndexAt(pos);
        *column = c < 0 ? -1 : c + 1;
    } else if (part == verticalHeader()->viewport()) {
        *column = 0;
        const int r = verticalHeader()->logicalIndexAt(pos);
        *row = r < 0 ? -1 : r + 1;
    } else {
        *row = 0;
        *column = 0;
    }
    return true;
}

bool NoteGrid::eventFilter(QObject* watched, QEvent* event) {
    const auto type = event->type();
    if (type != QEvent::MouseButtonPress && type != QEvent::MouseButtonRelease && type != QEvent::MouseButtonDblClick)
        return QTableView::eventFilter(watched, event);
    auto* me = static_cast<QMouseEvent*>(event);
    int column = -1, row = -1;
    hitTest(watched, me->position().toPoint(), &column, &row);
    const bool rowNumbers = watched == verticalHeader()->viewport();
    if (type == QEvent::MouseButtonRelease) {
        Grid1MouseUp(me->button(), column, row, me->globalPosition().toPoint());
        if (rowNumbers) {
            // Now the row the press chose comes into view; a second press of a double click
            // still means that row, wherever the grid has moved it.
            scrollTo(currentIndex(), QAbstractItemView::EnsureVisible);
        }
        return watched != horizontalHeader()->viewport();
    }
    if (rowNumbers) {
        if (type == QEvent::MouseButtonDblClick && pressedRow_ >= 1) row = pressedRow_;
        pressedRow_ = row;
    }
    // A press on a column border resizes the column: that belongs to the header.
    if (watched == horizontalHeader()->viewport()) {
        const int x = me->position().toPoint().x();
        for (int c = 0; c < kSetCount; ++c) {
            const int edge = horizontalHeader()->sectionViewportPosition(c) + horizontalHeader()->sectionSize(c);
            if (std::abs(x - edge) <= 4) return false;
        }
    }
    // The second press of a double click is a press too, then the double click.
    if (me->button() == Qt::LeftButton) setFocus(Qt::MouseFocusReason);
    holdScroll_ = rowNumbers;
    Grid1MouseDown(me->button(), column, row);
    holdScroll_ = false;
    if (type == QEvent::MouseButtonDblClick && me->button() == Qt::LeftButton) Grid1DblClick();
    return true;
}

void NoteGrid::mousePressEvent(QMouseEvent* event) {
    // Only the left button acts on a press; the right one acts on its release.
    if (event->button() != Qt::LeftButton) {
        event->accept();
        return;
    }
    QTableView::mousePressEvent(event);  // makes the cell under the pointer current first
    int column = -1, row = -1;
    hitTest(viewport(), event->position().toPoint(), &column, &row);
    Grid1MouseDown(event->button(), column, row);
}

void NoteGrid::mouseMoveEvent(QMouseEvent* event) {
    // Dragging with a button held moves neither the highlight nor the current cell: the two
    // are always the same cell, the one that was pressed.
    if (event->buttons() != Qt::NoButton) {
        event->accept();
        return;
    }
    QTableView::mouseMoveEvent(event);
}

void NoteGrid::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        event->accept();
        return;
    }
    QTableView::mouseDoubleClickEvent(event);
}

void NoteGrid::mouseReleaseEvent(QMouseEvent* event) {
    QTableView::mouseReleaseEvent(event);
    int column = -1, row = -1;
    hitTest(viewport(), event->position().toPoint(), &column, &row);
    Grid1MouseUp(event->button(), column, row, event->globalPosition().toPoint());
}

void NoteGrid::Grid1MouseDown(Qt::MouseButton button, int column, int row) {
    if (button != Qt::LeftButton) return;
    if (row >= 1 && column >= 1) {
        setCurrentGridRow(row - 1);  // already current after a press on a data cell
    } else if (row >= 1 && row <= kNoteCount) {
        const int note = row - 1;
        if (column == 0) c_.preview().soundNote(selectedSet(), note);
        setCurrentGridRow(note);
    } else if (row == 0) {
        if (column == 0) c_.preview().sendDeviceCommand(kAllSoundOff);
        else if (column >= 1) setCurrentGridColumn(column);
    }
}

void NoteGrid::Grid1MouseUp(Qt::MouseButton button, int column, int row, const QPoint& globalPos) {
    if (button == Qt::RightButton) {
        if (column >= 1 && row >= 1) {
            selectCell(column, row - 1);
            c_.selection().selectEditTarget(column, row - 1);
        }
        PopGrid1->popup(globalPos);
    } else if (button == Qt::LeftButton) {
        c_.preview().noteOff();
    }
}

void NoteGrid::Grid1DblClick() { emit dataBoxWanted(); }

void NoteGrid::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasFormat(kNotesMimeType)) event->acceptProposedAction();
    else event->ignore();  // a file goes on to the window, which opens it
}

void NoteGrid::dragMoveEvent(QDragMoveEvent* event) {
    QTableView::dragMoveEvent(event);  // scrolls near the edges
    const QModelIndex cell = indexAt(event->position().toPoint());
    if (cell.isValid() && event->mimeData()->hasFormat(kNotesMimeType) && !c_.state().busy) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void NoteGrid::dropEvent(QDropEvent* event) {
    stopAutoScroll();
    setState(NoState);
    const QModelIndex cell = indexAt(event->position().toPoint());
    const std::vector<DrumNoteEntry> notes = decodeNotes(event->mimeData()->data(kNotesMimeType));
    if (!cell.isValid() || notes.empty() || c_.state().busy) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
    setFocus(Qt::OtherFocusReason);
    c_.editing().dropNotes(cell.column() + 1, cell.row(), notes);
}

void NoteGrid::focusInEvent(QFocusEvent* event) {
    QTableView::focusInEvent(event);
    emit entered(this);
}

}  // namespace kf::ui
