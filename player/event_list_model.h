#pragma once

#include <QAbstractListModel>

#include "chart/chart.h"

namespace carvel {

// Shows the chart's events (hundreds of thousands of entries at times) as the texts a person reads,
// made only for the rows on screen: the classic reading's event table, or the full reading's
// events by time ("time,channel,value", as carvel-info --full prints them). Call reset() after a
// load has replaced them.
class EventListModel : public QAbstractListModel {
  public:
    explicit EventListModel(const Chart& chart, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    void reset();

  private:
    const Chart& chart_;
    int rows_ = 0;
};

}  // namespace carvel
