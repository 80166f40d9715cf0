#pragma once

#include <QString>
#include <memory>
#include <vector>

#include "chart/chart.h"
#include "chart/chart_reader.h"
#include "chart/load_message.h"
#include "playback/chart_media.h"
#include "playback/media_loader.h"
#include "playback/player_state.h"

namespace carvel {

// A chart read by a load that plays as it decodes, handed over before its media are decoded.
struct ReadChart {
    Chart chart;
    ChartMedia media;  // empty tables, the indices still to be decoded marked pending
    std::vector<FirstUse> firstUses;
};

// Follows a load: the running event count, then the load state and the status as they change.
// A load that plays as it decodes also hands over the chart once read (chartRead) and then each
// index as it is decoded (mediaReady, from the decoding threads, in no fixed order).
class LoadObserver : public ReadProgress, public MediaProgress {
  public:
    void eventCountChanged(qsizetype /*count*/) override {}
    virtual void loadStateChanged(LoadState /*state*/) {}
    virtual void statusChanged(PlayerStatus /*status*/) {}
    virtual void chartRead(std::shared_ptr<ReadChart> /*chart*/) {}
    void mediaReady(MediaItem /*item*/) override {}
};

struct LoadedChart {
    Chart chart;
    ChartMedia media;
    std::vector<LoadMessage> messages;  // in the order the user reads them
    bool found = false;                 // false: the chart file does not exist
    // The chart went ahead through chartRead: `chart` is empty, `media` the complete tables.
    bool handedOver = false;
};

// Opens a chart: reads it, decodes its media and collects the messages (a missing chart's
// not-found message first, then problems with the file, the media lines in line order, and a
// chart without events last). Once options.stop is requested it returns early, within one decode
// job, with a partial result that is to be discarded.
// With options.playAsDecoded, a chart that was read (it has events) is handed to the observer
// before its media are decoded, with the status "opened"; the load state becomes "loaded" and the
// messages are complete only at the end, as without it (past the sound budget, though, the sounds
// refused are those the chart uses last).
LoadedChart loadChart(const QString& path, const MediaOptions& options,
                      LoadObserver* observer = nullptr, const ReadOptions& reading = {});

}  // namespace carvel
