#pragma once

#include <QAbstractListModel>

#include "playlist/playlist.h"

namespace carvel {

// Shows the titles of a Playlist (the path as tool tip) and follows its changes row by row, so a
// view's marks and current row stay on their entries across edits.
class EntryListModel : public QAbstractListModel, private Playlist::Observer {
  public:
    explicit EntryListModel(Playlist& list, QObject* parent = nullptr);
    ~EntryListModel() override;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    // As QAbstractListModel's, without its calls back to rowCount and columnCount: a list view
    // asks for every row's index when it lays out, twice a row.
    QModelIndex index(int row, int column = 0,
                      const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    // The entries can be dragged to other places of the list, several at once (they land together,
    // in their order, before the row dropped on). Off unless set.
    void setReorderable(bool reorderable) { reorderable_ = reorderable; }
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    Qt::DropActions supportedDropActions() const override { return Qt::MoveAction; }
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    bool dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                      const QModelIndex& parent) override;

  private:
    void aboutToInsert(qsizetype first, qsizetype last) override;
    void inserted() override { endInsertRows(); }
    void aboutToRemove(qsizetype index) override;
    void removed() override { endRemoveRows(); }
    void aboutToMove(qsizetype from, qsizetype to) override;
    void moved() override { endMoveRows(); }
    void aboutToClear() override { beginResetModel(); }
    void cleared() override { endResetModel(); }

    Playlist& list_;
    bool reorderable_ = false;
};

}  // namespace carvel
