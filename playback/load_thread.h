#pragma once

#include <QObject>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "playback/chart_loader.h"
#include "playback/load_report.h"

namespace carvel {

// Loads one chart at a time on a thread of its own, so that the thread owning this object (the
// window thread) goes on answering. What the load tells its observer, and then its result, reach
// the owning thread in the order they were made (the order in which the decoding threads hand
// over media): through its event loop, or through wait().
// Cancelling or starting another load stops the running one within one decode job (or one line of
// the chart text) and discards everything it still reports.
class LoadThread {
  public:
    using Finished = std::function<void(LoadedChart&& loaded)>;
    using ChartLoad =
        std::function<LoadedChart(const QString& path, const MediaOptions& options,
                                  LoadObserver* observer, const ReadOptions& reading)>;

    // observer and finished are called on the owning thread only, never during start() or cancel().
    LoadThread(LoadObserver& observer, Finished finished);
    // Cancels the load and waits for the threads of every load still ending.
    ~LoadThread();
    LoadThread(const LoadThread&) = delete;
    LoadThread& operator=(const LoadThread&) = delete;

    // Cancels the running load and starts loading path with load (loadChart, or a stand-in).
    void start(const ChartLoad& load, const QString& path, MediaOptions options,
               const ReadOptions& reading);
    // The running load reports nothing more; its thread ends on its own.
    void cancel();
    // A load runs, or its result has not been delivered yet.
    bool busy() const { return current_ != 0; }
    // Waits up to timeoutMs for the running load to end, then delivers what every load reported
    // and the running one's result. True when that load has been delivered (finished may have
    // started another).
    bool wait(int timeoutMs);

  private:
    // What one load reported: what it told, or its result (Done).
    struct Report {
        unsigned long long load = 0;
        LoadReport told;
        std::shared_ptr<LoadedChart> result;  // set: the load is done
    };

    // From a load's thread.
    void post(Report report);
    // On the owning thread: hands the current load's reports on, joins the threads that ended.
    void deliver();

    LoadObserver& observer_;
    Finished finished_;
    QObject context_;  // the owning thread's deliveries are queued on it
    std::mutex mutex_;
    std::condition_variable ended_;
    std::vector<Report> reports_;     // guarded by mutex_
    bool deliveryQueued_ = false;     // guarded by mutex_
    unsigned long long current_ = 0;  // 0: none
    unsigned long long lastLoad_ = 0;
    // The running load's thread and those of cancelled loads that have not ended yet; declared
    // last, so that they are joined before anything they post to goes away.
    std::vector<std::pair<unsigned long long, std::jthread>> threads_;
};

}  // namespace carvel
