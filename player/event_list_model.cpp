#include "player/event_list_model.h"

#include <algorithm>
#include <climits>

namespace carvel {

EventListModel::EventListModel(const std::vector<std::string>& events, QObject* parent)
    : QAbstractListModel(parent), events_(events) {}

int EventListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : rows_;
}

QVariant EventListModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= rows_ ||
        static_cast<size_t>(index.row()) >= events_.size()) {
        return {};
    }
    return QString::fromLatin1(events_[static_cast<size_t>(index.row())]);
}

void EventListModel::reset() {
    beginResetModel();
    rows_ = static_cast<int>(std::min<size_t>(events_.size(), INT_MAX));
    endResetModel();
}

}  // namespace carvel
