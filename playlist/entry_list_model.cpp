#include "playlist/entry_list_model.h"

#include <QMimeData>
#include <algorithm>
#include <climits>
#include <vector>

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

namespace {

// The rows being dragged, as "3,5,8": meaningful only within the list they come from.
const QString kRowsType = QStringLiteral("application/x-carvel-playlist-rows");

}  // namespace

Qt::ItemFlags EntryListModel::flags(const QModelIndex& index) const {
    Qt::ItemFlags flags = QAbstractListModel::flags(index);
    if (reorderable_) {
        flags |= index.isValid() ? Qt::ItemIsDragEnabled : Qt::ItemIsDropEnabled;
    }
    return flags;
}

QStringList EntryListModel::mimeTypes() const {
    return {kRowsType};
}

QMimeData* EntryListModel::mimeData(const QModelIndexList& indexes) const {
    std::vector<int> rows;
    for (const QModelIndex& index : indexes) {
        if (index.isValid()) {
            rows.push_back(index.row());
        }
    }
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    QByteArray text;
    for (const int row : rows) {
        text += (text.isEmpty() ? "" : ",") + QByteArray::number(row);
    }
    auto* data = new QMimeData;
    data->setData(kRowsType, text);
    return data;
}

bool EntryListModel::dropMimeData(const QMimeData* data, Qt::DropAction action, int row,
                                  int /*column*/, const QModelIndex& parent) {
    if (!reorderable_ || action != Qt::MoveAction || !data || !data->hasFormat(kRowsType)) {
        return false;
    }
    const auto count = static_cast<int>(list_.count());
    // Dropped on an entry: before it; between entries: at row; below the last: at the end.
    int target = row >= 0 ? row : parent.isValid() ? parent.row() : count;
    target = std::clamp(target, 0, count);
    std::vector<int> rows;
    for (const QByteArray& part : data->data(kRowsType).split(',')) {
        bool ok = false;
        const int r = part.toInt(&ok);
        if (ok && r >= 0 && r < count && (rows.empty() || r > rows.back())) {
            rows.push_back(r);
        }
    }
    // Rows above the target each go just before it, and those below just after the ones placed:
    // moving within [r, target) leaves the rows below the target where they are.
    int above = 0;
    int placed = 0;
    for (const int r : rows) {
        if (r < target) {
            list_.move(r - above, target - 1);
            ++above;
        } else {
            list_.move(r, target + placed);
            ++placed;
        }
    }
    return !rows.empty();
}

}  // namespace carvel
