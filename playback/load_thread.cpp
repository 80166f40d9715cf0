#include "playback/load_thread.h"

#include <QMetaObject>
#include <algorithm>
#include <chrono>
#include <system_error>

namespace carvel {

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
        // What the load tells on its own thread becomes a report for the owning thread.
        LoadRecorder relay([this, load](LoadReport told) { post({load, std::move(told), {}}); });
        auto result = std::make_shared<LoadedChart>(chartLoad(path, o, &relay, reading));
        post({load, {}, std::move(result)});
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
                return r.load == load && r.result != nullptr;
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
        const auto isCount = [](const Report& r) {
            return r.result == nullptr && r.told.kind == LoadReport::Kind::Count;
        };
        if (isCount(report) && !reports_.empty() && isCount(reports_.back()) &&
            reports_.back().load == report.load) {
            reports_.back().told.count = report.told.count;
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
        if (r.result != nullptr) {
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
        if (r.result != nullptr) {
            current_ = 0;
            finished_(std::move(*r.result));
        } else {
            std::move(r.told).tellTo(observer_);
        }
    }
}

}  // namespace carvel
