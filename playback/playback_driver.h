#pragma once

#include <QObject>
#include <QTimer>

#include <functional>
#include "platform/clock.h"

#include "playback/playback_step.h"

namespace carvel {

// Runs the playback's passes from the Qt event loop: passes that have work run back to back (a
// bounded batch, then the event loop gets its turn); when nothing is due, a precise timer sleeps
// until the due time. Chaining to the next chart happens inside a pass, so nothing nests.
class PlaybackDriver : public QObject {
  public:
    using Pass = std::function<Step()>;

    PlaybackDriver(Pass pass, Clock& clock, QObject* parent = nullptr);

    // The engine's state changed outside a pass (Play, Stop, FF, ...): runs the passes that are due
    // at once, so a new run's first sounds are scheduled without waiting for the event loop.
    // Called during a pass (a completed chart starting the next), it only asks for more passes.
    void wake();

  private:
    void run();

    Pass pass_;
    Clock& clock_;
    QTimer timer_;
    bool running_ = false;
    bool rerun_ = false;
};

}  // namespace carvel
