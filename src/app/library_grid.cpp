#include "app/library_grid.h"

#include <QApplication>
#include <QDrag>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <algorithm>

#include "app/grid.h"
#include "app/grid_model.h"
#include "app/note_drag.h"
#include "editor/text.h"

namespace kf::ui {

namespace {
// Keys of the edit commands that would change the document's edit target, a note the user is
// not looking at while this grid has the focus: here they do nothing.
bool changesDocument(const QKeyEvent* key) {
    return key->matches(QKeySequence::Cut) || key->matches(QKeySequence::Paste) || key->matches(QKeySequence::Delete);
}
}  // namespace

LibraryGrid::LibraryGrid(EditorController& controller, QWidget* parent)
    : QTableView(parent), c_(controller), model_(new GridModel(this)) {
    setModel(model_);
    setObjectName("LibraryGrid");
    setUpGridView(this);
    setSelectionMode(QAbstractItemView::ContiguousSelection);
    setCornerButtonEnabled(false);
    connect(selectionModel(), &QItemSelectionModel::currentChanged, this, [this](const QModelIndex& now) {
        if (now.isValid()) follow(now.column() + 1, now.row());
    });
}

void LibraryGrid::showKit(const Kit& kit) {
    kit_ = kit;
    for (int set = 1; set <= kSetCount; ++set) {
        model_->setSetName(set, toUnicode(kit_.setName(set)));
        for (int note = 0; note < kNoteCount; ++note) {
            const DrumNoteEntry& e = kit_.entry(set, note);
            model_->setText(set, note, e.used ? toUnicode(e.name) : QString());
        }
    }
    extending_ = false;
    setCurrentIndex(cellIndex(1, 0));
    follow(1, 0);
    scrollToTop();
}

QModelIndex LibraryGrid::cellIndex(int set, int note) const { return model_->cell(set, note); }

QString LibraryGrid::cellText(int set, int note) const { return model_->data(cellIndex(set, note)).toString(); }

std::pair<int, int> LibraryGrid::selectedNotes() const { return {std::min(anchor_, note_), std::max(anchor_, note_)}; }

std::vector<DrumNoteEntry> LibraryGrid::selectedEntries() const {
    const auto [first, last] = selectedNotes();
    std::vector<DrumNoteEntry> notes;
    for (int n = first; n <= last; ++n) notes.push_back(kit_.entry(set_, n));
    return notes;
}

void LibraryGrid::follow(int set, int note) {
    // A run stays within one set: moving to the other set starts a new one.
    if (!extending_ || set != set_) anchor_ = note;
    extending_ = false;
    set_ = set;
    note_ = note;
    const auto [first, last] = selectedNotes();
    selectionModel()->select(QItemSelection(cellIndex(set, first), cellIndex(set, last)),
                             QItemSelectionModel::ClearAndSelect);
}

QItemSelectionModel::SelectionFlags LibraryGrid::selectionCommand(const QModelIndex& index, const QEvent* event) const {
    // The run is drawn by follow(); the view only moves the current cell.
    if (event && (event->type() == QEvent::KeyPress || event->type() == QEvent::MouseButtonPress))
        extending_ = static_cast<const QInputEvent*>(event)->modifiers() & Qt::ShiftModifier;
    return index.isValid() ? QItemSelectionModel::ClearAndSelect : QItemSelectionModel::NoUpdate;
}

void LibraryGrid::copyNotes() { c_.editing().copyNotes(kit_, set_, selectedNotes().first, selectedNotes().second); }

bool LibraryGrid::event(QEvent* event) {
    // Copy is this grid's own, and the keys that would change the document are held here;
    // Undo still reaches the document.
    if (event->type() == QEvent::ShortcutOverride) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->matches(QKeySequence::Copy) || changesDocument(key)) {
            event->accept();
            return true;
        }
    }
    return QTableView::event(event);
}

void LibraryGrid::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::Copy)) {
        copyNotes();
        return;
    }
    if (changesDocument(event)) return;
    QTableView::keyPressEvent(event);
}

void LibraryGrid::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    setFocus(Qt::MouseFocusReason);
    const QPoint at = event->position().toPoint();
    const QModelIndex cell = indexAt(at);
    if (!cell.isValid()) return;
    const auto [first, last] = selectedNotes();
    const bool shift = event->modifiers() & Qt::ShiftModifier;
    pressedInside_ = !shift && cell.column() + 1 == set_ && cell.row() >= first && cell.row() <= last;
    // A press inside the run keeps it, so the whole run can be dragged.
    if (!pressedInside_) {
        extending_ = shift;
        setCurrentIndex(cell);
        extending_ = false;
    }
    pressed_ = true;
    pressedAt_ = at;
}

void LibraryGrid::mouseMoveEvent(QMouseEvent* event) {
    if (!pressed_ || !(event->buttons() & Qt::LeftButton)) return;
    if ((event->position().toPoint() - pressedAt_).manhattanLength() < QApplication::startDragDistance()) return;
    pressed_ = false;
    dragNotes();
}

void LibraryGrid::mouseReleaseEvent(QMouseEvent* event) {
    // A click inside a run without a drag chooses that one note.
    if (pressed_ && pressedInside_ && event->button() == Qt::LeftButton) {
        const QModelIndex cell = indexAt(event->position().toPoint());
        if (cell.isValid()) {
            extending_ = false;
            if (cell == currentIndex()) follow(cell.column() + 1, cell.row());
            else setCurrentIndex(cell);
        }
    }
    pressed_ = false;
}

void LibraryGrid::mouseDoubleClickEvent(QMouseEvent* event) { mousePressEvent(event); }

void LibraryGrid::dragNotes() {
    const std::vector<DrumNoteEntry> notes = selectedEntries();
    if (std::none_of(notes.begin(), notes.end(), [](const DrumNoteEntry& e) { return e.used != 0; })) return;
    auto* data = new QMimeData;
    data->setData(kNotesMimeType, encodeNotes(notes));
    auto* drag = new QDrag(this);
    drag->setMimeData(data);
    // What is carried, as the grid shows it.
    const auto [first, last] = selectedNotes();
    const QRect run = visualRect(cellIndex(set_, first)).united(visualRect(cellIndex(set_, last)));
    drag->setPixmap(viewport()->grab(run.intersected(viewport()->rect())));
    drag->exec(Qt::CopyAction, Qt::CopyAction);
}

void LibraryGrid::focusInEvent(QFocusEvent* event) {
    QTableView::focusInEvent(event);
    emit entered(this);
}

}  // namespace kf::ui
