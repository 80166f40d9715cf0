#include "player/event_list_model.h"

#include <algorithm>
#include <climits>

namespace carvel {

EventListModel::EventListModel(const Chart& chart, QObject* parent)
    : QAbstractListModel(parent), chart_(chart) {}

int EventListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : rows_;
}

QVariant EventListModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= rows_ ||
        static_cast<size_t>(index.row()) >= chart_.table().events.size()) {
        return {};
    }
    return QString::fromStdString(eventText(chart_.table().events[static_cast<size_t>(index.row())],
                                            chart_.table().barEndRatios));
}

void EventListModel::reset() {
    beginResetModel();
    rows_ = static_cast<int>(std::min<size_t>(chart_.table().events.size(), INT_MAX));
    endResetModel();
}

}  // namespace carvel
