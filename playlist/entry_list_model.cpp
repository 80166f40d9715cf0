#include "playlist/entry_list_model.h"

#include <algorithm>
#include <climits>

namespace carvel {

EntryListModel::EntryListModel(Playlist& list, QObject* parent)
    : QAbstractListModel(parent), list_(list) {}

int EntryListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(std::min<qsizetype>(list_.count(), INT_MAX));
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

void EntryListModel::refresh() {
    beginResetModel();
    endResetModel();
}

}  // namespace carvel
