#pragma once

#include <QString>

#include "playback/chart_queue.h"
#include "playlist/entry_store.h"

namespace carvel {

// The list file keeps one entry per line, so a path holding CR or LF can never be an entry; every
// place that adds one refuses it with kLineBreakInPathMessage.
bool holdsLineBreak(const QString& path);
inline constexpr char16_t kLineBreakInPathMessage[] = u"改行を含むﾌｧｲﾙ名は追加できません。";

// The playlist: entries of a title and a chart path, so the two halves can never get out of step,
// and the player's current entry (-1 when none). Counts are not limited to 16 bits. The player
// steps through it as a ring.
class Playlist final : public ChartQueue {
  public:
    using Entry = PlaylistEntry;

    qsizetype count() const { return static_cast<qsizetype>(entries_.size()); }
    bool isEmpty() const { return entries_.empty(); }
    // Decoded from the store: a copy, and a few microseconds. Read long stretches with entries().
    Entry at(qsizetype i) const { return entries_[static_cast<size_t>(i)]; }
    const EntryStore& entries() const { return entries_; }

    // Told of every change to the entries, before and after it, so that a list view keeps its
    // marks and its current row on the entries they belong to. Indexes are those before the change;
    // a move's `to` is the entry's index after it.
    class Observer {
      public:
        virtual ~Observer() = default;
        virtual void aboutToInsert(qsizetype first, qsizetype last) = 0;
        virtual void inserted() = 0;
        virtual void aboutToRemove(qsizetype index) = 0;
        virtual void removed() = 0;
        virtual void aboutToMove(qsizetype from, qsizetype to) = 0;
        virtual void moved() = 0;
        virtual void aboutToClear() = 0;
        virtual void cleared() = 0;
    };

    void append(const Entry& entry);
    // Takes the store over when the playlist is empty, so a list file read whole is never copied.
    void appendAll(EntryStore entries);
    void insert(qsizetype index, const Entry& entry);
    void removeAt(qsizetype index);
    // Moves the entry at `from` to index `to`; the current entry follows the entries.
    void move(qsizetype from, qsizetype to);
    void clear();

    // The player's current entry; setCurrent accepts -1 .. count - 1 and ignores anything else.
    qsizetype current() const { return current_; }
    void setCurrent(qsizetype index);

    std::optional<QString> stepForward() override;
    std::optional<QString> stepBack() override;
    std::optional<QString> peekForward() const override;

    // One observer at most; nullptr for none.
    void setObserver(Observer* observer) { observer_ = observer; }

  private:
    EntryStore entries_;
    qsizetype current_ = -1;
    Observer* observer_ = nullptr;
};

}  // namespace carvel
