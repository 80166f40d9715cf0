#include "playlist/entry_list_model.h"

#include <algorithm>
#include <climits>

namespace carvel {

EntryListModel::EntryListModel(Playlist& list, QObject* parent)
    : QAbstractListModel(parent), list_(list) {
    list_.setObserver(this);
}

EntryListModel::~EntryListModel() {
    list_.setObserver(nullptr);
}

int EntryListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(std::min<qsizetype>(list_.count(), INT_MAX));
}

QModelIndex EntryListModel::index(int row, int column, const QModelIndex& parent) const {
    return row >= 0 && row < list_.count() && column == 0 && !parent.isValid()
               ? createIndex(row, column)
               : QModelIndex();
}

QVariant EntryListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= list_.count()) {
        return {};
    }
    if (role == Qt::DisplayRole) {
        return list_.at(index.row()).title;
    }
    if (role == Qt::ToolTipRole) {
        return list_.at(index.row()).path;
    }
    return {};
}

void EntryListModel::aboutToInsert(qsizetype first, qsizetype last) {
    beginInsertRows(QModelIndex(), static_cast<int>(first), static_cast<int>(last));
}

void EntryListModel::aboutToRemove(qsizetype index) {
    beginRemoveRows(QModelIndex(), static_cast<int>(index), static_cast<int>(index));
}

void EntryListModel::aboutToMove(qsizetype from, qsizetype to) {
    // Qt names the row before which the moved row lands, counted before the move.
    const auto row = static_cast<int>(from);
    beginMoveRows(QModelIndex(), row, row, QModelIndex(),
                  static_cast<int>(to > from ? to + 1 : to));
}

}  // namespace carvel
