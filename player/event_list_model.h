#pragma once

#include <QAbstractListModel>
#include <string>
#include <vector>

namespace carvel {

// Shows the chart's event list (hundreds of thousands of entries at times) without copying it into
// list items. Call reset() after a load has replaced the list.
class EventListModel : public QAbstractListModel {
  public:
    explicit EventListModel(const std::vector<std::string>& events, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    void reset();

  private:
    const std::vector<std::string>& events_;
    int rows_ = 0;
};

}  // namespace carvel
