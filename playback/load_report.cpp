#include "playback/load_report.h"

namespace carvel {

void LoadReport::tellTo(LoadObserver& observer) && {
    switch (kind) {
        case Kind::Count:
            observer.eventCountChanged(count);
            break;
        case Kind::State:
            observer.loadStateChanged(state);
            break;
        case Kind::Status:
            observer.statusChanged(status);
            break;
        case Kind::ChartRead:
            observer.chartRead(std::move(chart));
            break;
        case Kind::Media:
            observer.mediaReady(std::move(item));
            break;
    }
}

void LoadRecorder::eventCountChanged(qsizetype count) {
    LoadReport report;
    report.count = count;
    keep_(std::move(report));
}

void LoadRecorder::loadStateChanged(LoadState state) {
    LoadReport report;
    report.kind = LoadReport::Kind::State;
    report.state = state;
    keep_(std::move(report));
}

void LoadRecorder::statusChanged(PlayerStatus status) {
    LoadReport report;
    report.kind = LoadReport::Kind::Status;
    report.status = status;
    keep_(std::move(report));
}

void LoadRecorder::chartRead(std::shared_ptr<ReadChart> chart) {
    LoadReport report;
    report.kind = LoadReport::Kind::ChartRead;
    report.chart = std::move(chart);
    keep_(std::move(report));
}

void LoadRecorder::mediaReady(MediaItem item) {
    LoadReport report;
    report.kind = LoadReport::Kind::Media;
    report.item = std::move(item);
    keep_(std::move(report));
}

}  // namespace carvel
