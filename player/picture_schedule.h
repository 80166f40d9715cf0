#pragma once

#include <QImage>
#include <QObject>
#include <QTimer>
#include <deque>
#include <functional>

#include "platform/clock.h"

namespace carvel {

// Holds composed pictures back until their sound is heard. A sound due at clock time t is heard
// at t plus the output's delay (its scheduling latency and the card's buffer), so a picture due
// at t is shown when the output clock passes t + delay. Without a clock, or with no delay (no
// sound card, the tests), pictures are shown at once.
class PictureSchedule : public QObject {
  public:
    using Show = std::function<void(const QImage& picture)>;

    explicit PictureSchedule(Show show, QObject* parent = nullptr);

    // clock: the sound output's clock; delayMs: how long after its due time a sound is heard.
    void setClock(Clock* clock, double delayMs);
    // The same with a delay that changes (with the speed of the performance): read at each add.
    void setClock(Clock* clock, std::function<double()> delayMs);

    // A picture composed for clock time dueMs. Pictures due within kMergeMs of the one before
    // replace it (keeping its time): no screen would show both, and the queue stays short.
    void add(const QImage& picture, double dueMs);

    // Called after each picture is handed to the screen, with its due time and the clock then
    // (for measurements).
    std::function<void(double dueMs, double shownMs)> onShown;

    // Shows every picture whose time has come by the clock and arms the timer for the next one.
    // The timer calls it; so may a caller that knows the clock has moved.
    void showDue();

    static constexpr double kMergeMs = 5;

  private:
    struct Pending {
        double atMs;   // clock time to show it
        double dueMs;  // for onShown
        QImage picture;
    };

    void arm();

    Show show_;
    Clock* clock_ = nullptr;
    std::function<double()> delayMs_;
    std::deque<Pending> pending_;
    QTimer timer_;
};

}  // namespace carvel
