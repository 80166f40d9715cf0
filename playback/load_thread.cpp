#include "playback/load_thread.h"

#include <QMetaObject>
#include <algorithm>
#include <chrono>
#include <system_error>

namespace carvel {

// The observer of a load on its own thread: every call becomes a report for the owning thread.
class LoadThread::Relay final : public LoadObserver {
  public:
    Relay(LoadThread& owner, unsigned long long load) : owner_(owner), load_(load) {}
    void eventCountChanged(qsizetype count) override {
        Report report = make(Report::Kind::Count);
        report.count = count;
        owner_.post(std::move(report));
    }
    void loadStateChanged(LoadState state) override {
        Report report = make(Report::Kind::State);
        report.state = state;
        owner_.post(std::move(report));
    }
    void statusChanged(PlayerStatus status) override {
        Report report = make(Report::Kind::Status);
        report.status = status;
        owner_.post(std::move(report));
    }
    void chartRead(std::shared_ptr<ReadChart> chart) override {
        Report report = make(Report::Kind::ChartRead);
        report.chart = std::move(chart);
        owner_.post(std::move(report));
    }
    void mediaReady(MediaItem item) override {
        Report report = make(Report::Kind::Media);
        report.item = std::move(item);
        owner_.post(std::move(report));
    }

  private:
    Report make(Report::Kind kind) const {
        Report report;
        report.kind = kind;
        report.load = load_;
        return report;
    }

    LoadThread& owner_;
    unsigned long long load_;
};

LoadThread::LoadThread(LoadObserver& observer, Finished finished)
    : observer_(observer), finished_(std::move(finished)) {}

LoadThread::~LoadThread() {
    // A jthread asks its load to stop and joins it.
    threads_.clear();
}

void LoadThread::start(const ChartLoad& chartLoad, const QString& path, MediaOptions options,
                       const ReadOptions& reading) {
    cancel();
    const unsigned long long load = ++lastLoad_;
    current_ = load;
    auto run = [this, chartLoad, load, path, reading](MediaOptions o) {
        Relay relay(*this, load);
        auto result = std::make_shared<LoadedChart>(chartLoad(path, o, &relay, reading));
        Report done;
        done.kind = Report::Kind::Done;
        done.load = load;
        done.result = std::move(result);
        post(std::move(done));
    };
    try {
        threads_.emplace_back(load, std::jthread([run, options](std::stop_token stop) mutable {
                                  options.stop = std::move(stop);
                                  run(options);
                              }));
    } catch (const std::system_error&) {
        // Without a thread the load runs here; its reports still arrive through the event loop.
        run(options);
    }
}

void LoadThread::cancel() {
    for (auto& [load, thread] : threads_) {
        if (load == current_) {
            thread.request_stop();
        }
    }
    current_ = 0;
}

bool LoadThread::wait(int timeoutMs) {
    const unsigned long long load = current_;
    if (load != 0) {
        std::unique_lock lock(mutex_);
        ended_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
            return std::any_of(reports_.begin(), reports_.end(), [&](const Report& r) {
                return r.load == load && r.kind == Report::Kind::Done;
            });
        });
    }
    deliver();
    return load == 0 || current_ != load;
}

void LoadThread::post(Report report) {
    bool queue = false;
    {
        const std::lock_guard lock(mutex_);
        // The counts of a long read come line by line: the owning thread needs only the latest.
        if (report.kind == Report::Kind::Count && !reports_.empty() &&
            reports_.back().kind == Report::Kind::Count && reports_.back().load == report.load) {
            reports_.back().count = report.count;
        } else {
            reports_.push_back(std::move(report));
        }
        queue = !deliveryQueued_;
        deliveryQueued_ = true;
    }
    ended_.notify_all();
    if (queue) {
        QMetaObject::invokeMethod(
            &context_, [this] { deliver(); }, Qt::QueuedConnection);
    }
}

void LoadThread::deliver() {
    std::vector<Report> reports;
    {
        const std::lock_guard lock(mutex_);
        reports.swap(reports_);
        deliveryQueued_ = false;
    }
    for (Report& r : reports) {
        if (r.kind == Report::Kind::Done) {
            // Its last post: the thread is ending, so the join is immediate.
            const auto ended = std::find_if(threads_.begin(), threads_.end(),
                                            [&](const auto& t) { return t.first == r.load; });
            if (ended != threads_.end()) {
                ended->second.join();
                threads_.erase(ended);
            }
        }
        if (r.load != current_) {
            continue;
        }
        switch (r.kind) {
            case Report::Kind::Count:
                observer_.eventCountChanged(r.count);
                break;
            case Report::Kind::State:
                observer_.loadStateChanged(r.state);
                break;
            case Report::Kind::Status:
                observer_.statusChanged(r.status);
                break;
            case Report::Kind::ChartRead:
                observer_.chartRead(std::move(r.chart));
                break;
            case Report::Kind::Media:
                observer_.mediaReady(std::move(r.item));
                break;
            case Report::Kind::Done:
                current_ = 0;
                finished_(std::move(*r.result));
                break;
        }
    }
}

}  // namespace carvel
