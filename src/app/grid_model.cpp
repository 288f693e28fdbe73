#include "app/grid_model.h"

#include <QColor>

namespace kf::ui {

GridModel::GridModel(QObject* parent) : QAbstractTableModel(parent) {}

int GridModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : kNoteCount; }

int GridModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : kSetCount; }

QVariant GridModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid)) return {};
    const bool marked = marked_[index.column()][index.row()];
    if (role == Qt::BackgroundRole && marked) return QColor(255, 190, 190);
    if (role == Qt::ToolTipRole && marked) return QStringLiteral("ﾓｼﾞｭｰﾙと違います");
    // Fonts and alignment are the grid's own; a cell gives only its name.
    if (role != Qt::DisplayRole && role != Qt::EditRole) return {};
    return texts_[index.column()][index.row()];
}

QVariant GridModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole) return {};
    if (orientation == Qt::Vertical) {
        if (section < 0 || section >= kNoteCount) return {};
        // Right-aligned in a fixed pitch font, the numbers line up as a column.
        return QString::asprintf("%4d", section);
    }
    if (section < 0 || section >= kSetCount) return {};
    return names_[section];
}

Qt::ItemFlags GridModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    return Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemNeverHasChildren;
}

void GridModel::setText(int set, int note, const QString& text) {
    QString& held = texts_[set - 1][note];
    if (held == text) return;
    held = text;
    const QModelIndex i = cell(set, note);
    emit dataChanged(i, i, {Qt::DisplayRole, Qt::EditRole});
}

void GridModel::setMarked(int set, int note, bool marked) {
    bool& held = marked_[set - 1][note];
    if (held == marked) return;
    held = marked;
    const QModelIndex i = cell(set, note);
    emit dataChanged(i, i, {Qt::BackgroundRole, Qt::ToolTipRole});
}

void GridModel::setSetName(int set, const QString& name) {
    QString& held = names_[set - 1];
    if (held == name) return;
    held = name;
    emit headerDataChanged(Qt::Horizontal, set - 1, set - 1);
}

}  // namespace kf::ui
