#pragma once

#include <QtGlobal>
#include <functional>
#include <memory>

#include "playback/chart_loader.h"

namespace carvel {

// One thing that a load told its observer, kept to be told again later (on another thread, or
// once the chart it prepared is opened).
struct LoadReport {
    enum class Kind { Count, State, Status, ChartRead, Media };
    Kind kind = Kind::Count;
    qsizetype count = 0;
    LoadState state = LoadState::Waiting;
    PlayerStatus status = PlayerStatus::NoFile;
    std::shared_ptr<ReadChart> chart;
    MediaItem item;

    // Tells observer again, handing over what the report holds.
    void tellTo(LoadObserver& observer) &&;
};

// An observer that turns every call into a report for keep, in the order of the calls.
class LoadRecorder final : public LoadObserver {
  public:
    using Keep = std::function<void(LoadReport report)>;
    explicit LoadRecorder(Keep keep) : keep_(std::move(keep)) {}

    void eventCountChanged(qsizetype count) override;
    void loadStateChanged(LoadState state) override;
    void statusChanged(PlayerStatus status) override;
    void chartRead(std::shared_ptr<ReadChart> chart) override;
    void mediaReady(MediaItem item) override;

  private:
    Keep keep_;
};

}  // namespace carvel
