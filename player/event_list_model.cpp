#include "player/event_list_model.h"

#include "chart/timed_event_text.h"

#include <algorithm>
#include <climits>

namespace carvel {

EventListModel::EventListModel(const Chart& chart, QObject* parent)
    : QAbstractListModel(parent), chart_(chart) {}

int EventListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : rows_;
}

QVariant EventListModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= rows_) {
        return {};
    }
    const auto row = static_cast<size_t>(index.row());
    if (chart_.mode() == ReadingMode::Full) {
        if (row >= chart_.timeline().events.size()) {
            return {};
        }
        std::string text;
        appendTimedEventText(text, chart_.timeline().events[row]);
        return QString::fromStdString(text);
    }
    if (row >= chart_.table().events.size()) {
        return {};
    }
    return QString::fromStdString(
        eventText(chart_.table().events[row], chart_.table().barEndRatios));
}

void EventListModel::reset() {
    beginResetModel();
    const size_t count = chart_.mode() == ReadingMode::Full ? chart_.timeline().events.size()
                                                            : chart_.table().events.size();
    rows_ = static_cast<int>(std::min<size_t>(count, INT_MAX));
    endResetModel();
}

}  // namespace carvel
