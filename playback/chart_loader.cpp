#include "playback/chart_loader.h"

namespace carvel {

namespace {

// Passes the reader's counts on to the load's observer and ends the read once the load's stop is
// requested.
class ReadRelay final : public ReadProgress {
  public:
    ReadRelay(LoadObserver& observer, std::stop_token stop)
        : observer_(observer), stop_(std::move(stop)) {}
    void eventCountChanged(qsizetype count) override { observer_.eventCountChanged(count); }
    bool stopRequested() override { return stop_.stop_requested(); }

  private:
    LoadObserver& observer_;
    std::stop_token stop_;
};

}  // namespace

LoadedChart loadChart(const QString& path, const MediaOptions& options, LoadObserver* observer,
                      const ReadOptions& reading) {
    LoadObserver silent;
    LoadObserver& o = observer != nullptr ? *observer : silent;
    LoadedChart loaded;
    // The count restarts with every load; a chart that cannot be read leaves it at 0.
    o.eventCountChanged(0);
    ReadRelay relay(o, options.stop);
    ReadResult read = readChart(path, &relay, reading);
    loaded.chart = std::move(read.chart);
    if (options.stop.stop_requested()) {
        return loaded;
    }
    if (read.status == ReadResult::Status::NotFound) {
        o.loadStateChanged(LoadState::Waiting);
        o.statusChanged(PlayerStatus::NotFound);
        loaded.messages.push_back({LoadMessage::Kind::ChartNotFound, path, {}});
        return loaded;
    }
    loaded.found = true;
    o.loadStateChanged(LoadState::Loading);
    if (read.status == ReadResult::Status::TooLarge) {
        loaded.messages.push_back({LoadMessage::Kind::ChartTooLarge, path, {}});
    } else if (read.status == ReadResult::Status::Unreadable) {
        loaded.messages.push_back({LoadMessage::Kind::ChartUnreadable, path, {}});
    } else if (read.status == ReadResult::Status::OutOfMemory) {
        loaded.messages.push_back({LoadMessage::Kind::ChartOutOfMemory, path, {}});
    }
    loaded.messages.insert(loaded.messages.end(), loaded.chart.readProblems.begin(),
                           loaded.chart.readProblems.end());
    MediaOptions media = options;
    media.videos = loaded.chart.mode() == ReadingMode::Full;
    const bool hasEvents = loaded.chart.hasEvents();
    if (options.playAsDecoded && hasEvents) {
        auto ahead = std::make_shared<ReadChart>();
        ahead->firstUses = firstUses(loaded.chart);
        ahead->media = pendingMedia(loaded.chart.media);
        const std::vector<MediaRequest> requests = loaded.chart.media;
        ahead->chart = std::move(loaded.chart);
        loaded.chart = Chart();
        loaded.handedOver = true;
        o.statusChanged(PlayerStatus::Opened);
        const std::vector<FirstUse> order = ahead->firstUses;
        o.chartRead(std::move(ahead));
        loaded.media = loadMedia(requests, media, loaded.messages, &o, order);
        o.loadStateChanged(LoadState::Loaded);
        return loaded;
    }
    loaded.media = loadMedia(loaded.chart.media, media, loaded.messages);
    o.loadStateChanged(LoadState::Loaded);
    o.statusChanged(PlayerStatus::Opened);
    if (!hasEvents) {
        // The status line says why, in the few words that every layout has room for.
        const PlayerStatus why =
            read.status == ReadResult::Status::TooLarge      ? PlayerStatus::TooLarge
            : read.status == ReadResult::Status::Unreadable  ? PlayerStatus::Unreadable
            : read.status == ReadResult::Status::OutOfMemory ? PlayerStatus::OutOfMemory
                                                             : PlayerStatus::CannotPlay;
        o.statusChanged(why);
        loaded.messages.push_back({LoadMessage::Kind::NoEvents, {}, {}});
    }
    return loaded;
}

}  // namespace carvel
