#pragma once

#include <QByteArray>
#include <QString>
#include <functional>
#include <vector>

#include "playback/chart_queue.h"

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
    struct Entry {
        QString title;
        QString path;
        // The list file line this entry was read from, kept only when that line decoded as neither
        // UTF-8 nor CP932: it is written back unchanged rather than rewritten from a guess.
        QByteArray line{};
    };

    qsizetype count() const { return static_cast<qsizetype>(entries_.size()); }
    bool isEmpty() const { return entries_.empty(); }
    const Entry& at(qsizetype i) const { return entries_[static_cast<size_t>(i)]; }
    const std::vector<Entry>& entries() const { return entries_; }

    void append(Entry entry);
    void appendAll(std::vector<Entry> entries);
    void insert(qsizetype index, Entry entry);
    void removeAt(qsizetype index);
    void clear();

    // The player's current entry; setCurrent accepts -1 .. count - 1 and ignores anything else.
    qsizetype current() const { return current_; }
    void setCurrent(qsizetype index);

    std::optional<QString> stepForward() override;
    std::optional<QString> stepBack() override;

    // Called after every change: entriesChanged is false when only the current entry moved.
    void setListener(std::function<void(bool entriesChanged)> listener) {
        listener_ = std::move(listener);
    }

  private:
    void changed(bool entriesChanged);

    std::vector<Entry> entries_;
    qsizetype current_ = -1;
    std::function<void(bool)> listener_;
};

}  // namespace carvel
