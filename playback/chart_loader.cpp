#include "playback/chart_loader.h"

namespace carvel {

LoadedChart loadChart(const QString& path, const MediaOptions& options, LoadObserver* observer,
                      const ReadOptions& reading) {
    LoadObserver silent;
    LoadObserver& o = observer != nullptr ? *observer : silent;
    LoadedChart loaded;
    // The count restarts with every load; a chart that cannot be read leaves it at 0.
    o.eventCountChanged(0);
    ReadResult read = readChart(path, &o, reading);
    loaded.chart = std::move(read.chart);
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
    loaded.media = loadMedia(loaded.chart.media, options, loaded.messages);
    o.loadStateChanged(LoadState::Loaded);
    o.statusChanged(PlayerStatus::Opened);
    if (loaded.chart.mode == ReadingMode::Full ? loaded.chart.timedEvents.empty()
                                               : loaded.chart.events.empty()) {
        o.statusChanged(PlayerStatus::CannotPlay);
        loaded.messages.push_back({LoadMessage::Kind::NoEvents, {}, {}});
    }
    return loaded;
}

}  // namespace carvel
