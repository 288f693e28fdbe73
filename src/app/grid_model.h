// What the note grid shows: a name per cell, the set names over the columns and the note
// numbers beside the rows. Rows are notes 0–127, columns are sets 1 and 2.
#pragma once

#include <QAbstractTableModel>
#include <QString>
#include <array>

#include "model/kit.h"

namespace kf::ui {

class GridModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit GridModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    QModelIndex cell(int set, int note) const { return index(note, set - 1); }
    void setText(int set, int note, const QString& text);
    void setSetName(int set, const QString& name);
    // A note the module does not hold as the Kit has it.
    void setMarked(int set, int note, bool marked);
    bool marked(int set, int note) const { return marked_[set - 1][note]; }

private:
    std::array<std::array<QString, kNoteCount>, kSetCount> texts_;
    std::array<QString, kSetCount> names_;
    std::array<std::array<bool, kNoteCount>, kSetCount> marked_{};
};

}  // namespace kf::ui
