#pragma once

#include <QObject>
#include <QTimer>

#include "platform/clock.h"
#include "playback/playback_engine.h"

namespace carvel {

// Runs the engine's passes from the Qt event loop: passes that have work run back to back (a
// bounded batch, then the event loop gets its turn); when nothing is due, a precise timer sleeps
// until the due time. Chaining to the next chart happens inside a pass, so nothing nests.
class PlaybackDriver : public QObject {
  public:
    PlaybackDriver(PlaybackEngine& engine, Clock& clock, QObject* parent = nullptr);

    // Runs a pass soon (the engine's state changed outside a pass).
    void wake();

  private:
    void run();

    PlaybackEngine& engine_;
    Clock& clock_;
    QTimer timer_;
};

}  // namespace carvel
