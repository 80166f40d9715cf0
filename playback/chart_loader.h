#pragma once

#include <QString>
#include <vector>

#include "chart/chart.h"
#include "chart/chart_reader.h"
#include "chart/load_message.h"
#include "playback/chart_media.h"
#include "playback/media_loader.h"
#include "playback/player_state.h"

namespace carvel {

// Follows a load: the running event count, then the load state and the status as they change.
class LoadObserver : public ReadProgress {
  public:
    void eventCountChanged(qsizetype /*count*/) override {}
    virtual void loadStateChanged(LoadState /*state*/) {}
    virtual void statusChanged(PlayerStatus /*status*/) {}
};

struct LoadedChart {
    Chart chart;
    ChartMedia media;
    std::vector<LoadMessage> messages;  // in the order the user reads them
    bool found = false;                 // false: the chart file does not exist
};

// Opens a chart: reads it, decodes its media and collects the messages (a missing chart's
// not-found message first, then problems with the file, the media lines in line order, and a
// chart without events last). Once options.stop is requested it returns early, within one decode
// job, with a partial result that is to be discarded.
LoadedChart loadChart(const QString& path, const MediaOptions& options,
                      LoadObserver* observer = nullptr, const ReadOptions& reading = {});

}  // namespace carvel
