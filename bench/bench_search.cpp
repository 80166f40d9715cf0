// bench_search DIR: times the folder search (walk and title probes) on a worker thread, as the
// playlist window runs it, while the main thread's event loop measures how late a 10 ms timer
// fires (how long a click would wait).
#include <QCoreApplication>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

#include "playlist/folder_search.h"

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fputs("usage: bench_search DIR\n", stderr);
        return 2;
    }
    const QString root = QString::fromLocal8Bit(argv[1]);
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    std::atomic<bool> done{false};
    size_t found = 0;
    double searchMs = 0;
    std::thread worker([&] {
        found = carvel::searchCharts(root).charts.size();
        searchMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        done = true;
    });
    double worstLate = 0;
    auto last = Clock::now();
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, &app, [&] {
        const auto now = Clock::now();
        worstLate =
            std::max(worstLate, std::chrono::duration<double, std::milli>(now - last).count() - 10);
        last = now;
        if (done) {
            app.quit();
        }
    });
    tick.start(10);
    app.exec();
    worker.join();
    std::printf("search: %zu charts in %.0f ms; the event loop was at most %.1f ms late\n", found,
                searchMs, worstLate);
    return 0;
}
