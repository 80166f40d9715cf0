#pragma once

#include <QObject>
#include <QString>

namespace carvel {

// Keeps the screen on through the desktop's screensaver interface (org.freedesktop.ScreenSaver
// on the session bus) while told to. Without a session bus, or a desktop that offers the
// interface, it does nothing. Calls never wait for the bus.
class ScreenKeeper : public QObject {
  public:
    explicit ScreenKeeper(QObject* parent = nullptr) : QObject(parent) {}
    ~ScreenKeeper() override;

    // On: the screensaver is held off until off (or the keeper goes); repeated calls change
    // nothing.
    void keepOn(bool on);
    bool keepsOn() const { return wanted_; }

  private:
    void released();

    bool wanted_ = false;
    bool asking_ = false;  // an Inhibit call has not been answered yet
    unsigned int cookie_ = 0;
};

}  // namespace carvel
