#pragma once

#include <QString>

namespace carvel {

// Receives the texts that the player window shows while a chart loads and plays: the running event
// count, the load state and the status line. Every method has an empty default.
class StatusObserver {
  public:
    virtual ~StatusObserver() = default;
    virtual void eventCountChanged(qsizetype /*count*/) {}
    virtual void loadStateChanged(const QString& /*text*/) {}
    virtual void statusChanged(const QString& /*text*/) {}
};

}  // namespace carvel
