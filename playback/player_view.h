#pragma once

#include <QImage>
#include <QString>
#include <vector>

#include "chart/load_message.h"
#include "playback/chart_loader.h"

namespace carvel {

// What the player shows. The player window implements it; so do the terminal player and the tests.
// Every method has an empty default.
class PlayerView : public LoadObserver {
  public:
    virtual void messagesChanged(const std::vector<LoadMessage>& /*messages*/) {}
    virtual void informationChanged(const QString& /*text*/) {}  // the information box
    // The picture area's picture, composed for clock time dueMs (when its sounds start).
    virtual void pictureChanged(const QImage& /*primary*/, double /*dueMs*/) {}
    virtual bool playerVisible() { return true; }
    // The playback found the player hidden and closes it (stop, reset, show the playlist).
    virtual void closePlayer() {}
};

}  // namespace carvel
