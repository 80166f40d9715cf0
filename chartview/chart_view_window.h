#pragma once

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <optional>

#include "chartview/chart_layout.h"
#include "chartview/lane_mixer.h"
#include "chartview/lane_view.h"
#include "chartview/loop_marks.h"
#include "chartview/position_bar.h"
#include "playback/player_controller.h"

namespace carvel {

// The chart view 「譜面」: the lanes scrolling past the judgement line in time with what is heard,
// the position bar, the section loop, the speed and the lane mixer, all bound to the controller.
// While a run is in progress it reads the controller every frame (kFrameMs); otherwise it only
// looks now and then (kIdleMs) for a run to begin, and repaints nothing.
class ChartViewWindow : public QWidget {
  public:
    static constexpr int kFrameMs = 16;
    static constexpr int kIdleMs = 250;

    // settingsFile: where the window's place and size and the span are remembered ("" for
    // nowhere).
    ChartViewWindow(PlayerController& controller, QString settingsFile, QWidget* parent = nullptr);
    ~ChartViewWindow() override;

    // What the frame timer does: rebuilds the layout when another chart has loaded, then shows
    // the position heard, the loop and the speed.
    void refresh();
    const ChartLayout& chartLayout() const { return layout_; }
    bool framesRunning() const { return frames_.isActive() && frames_.interval() == kFrameMs; }

    // The handlers, public so that the tests drive them as a user would. exact: at the position
    // itself rather than the nearest measure line (Shift).
    void markA(bool exact);
    void markB(bool exact);
    void clearLoop();
    void changeSpeed(int steps);
    void resetSpeed();

    LaneView* lanes = nullptr;
    PositionBar* positionBar = nullptr;
    QLabel* positionLabel = nullptr;
    QSpinBox* spanBox = nullptr;
    QPushButton* slowerButton = nullptr;
    QLabel* speedLabel = nullptr;
    QPushButton* fasterButton = nullptr;
    QPushButton* normalSpeedButton = nullptr;
    QCheckBox* keepPitchBox = nullptr;
    QPushButton* markAButton = nullptr;
    QPushButton* markBButton = nullptr;
    QPushButton* clearLoopButton = nullptr;
    LaneMixer* mixer = nullptr;

  protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void apply(LoopMarks::Change change);
    void showLoop();
    void showSpeed();
    void saveSettings();

    PlayerController& controller_;
    QString settingsFile_;
    ChartLayout layout_;
    std::optional<std::uint64_t> serial_;
    LoopMarks marks_;
    QTimer frames_;
};

}  // namespace carvel
