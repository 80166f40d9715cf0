#pragma once

#include <QAbstractListModel>

#include "playlist/playlist.h"

namespace carvel {

// Shows the titles of a Playlist; follows every change through the playlist's listener.
class EntryListModel : public QAbstractListModel {
  public:
    explicit EntryListModel(Playlist& list, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    void refresh();

  private:
    Playlist& list_;
};

}  // namespace carvel
