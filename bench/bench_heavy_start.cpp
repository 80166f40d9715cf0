// A chart's start on the real SDL output (SDL_AUDIODRIVER=disk where there is no sound card) and
// the real driver, the load in the background as the player does it: from open() to the first
// sound mixed and heard, the waits for a sound still being decoded (with their chart times), the
// load's end, the process's CPU time to it, and the peak memory. "whole" waits for every file
// before the run starts, as the player did before it played as it decoded.
// A .bmson chart is read in the full reading.
// usage: bench_heavy_start CHART asdecoded|whole
#include <sys/resource.h>

#include <QCoreApplication>
#include <QFile>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

#include "player_rig.h"

namespace {

class Waits final : public carvel::PlayerView {
  public:
    explicit Waits(carvel::PlayerController*& controller) : controller_(controller) {}
    void statusChanged(carvel::PlayerStatus status) override {
        if (status == carvel::PlayerStatus::LoadingMedia && controller_ != nullptr) {
            atChartMs.push_back(controller_->positionMs());
        }
    }
    std::vector<double> atChartMs;

  private:
    carvel::PlayerController*& controller_;
};

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](timeval t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

long peakKiB() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) {
        return -1;
    }
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:")) {
            return line.mid(6).trimmed().split(' ').front().toLong();
        }
    }
    return -1;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: bench_heavy_start CHART asdecoded|whole\n");
        return 2;
    }
    const QString chart = QString::fromLocal8Bit(argv[1]);
    const bool asDecoded = std::strcmp(argv[2], "whole") != 0;

    carvel::PlayerController* observed = nullptr;
    Waits view(observed);
    carvel::bench::PlayerRig rig(&view);
    carvel::media::SdlOutput& output = rig.output();
    carvel::PlayerController& controller = rig.controller();
    observed = &controller;
    controller.setPlaysAsDecoded(asDecoded);
    if (chart.endsWith(QStringLiteral(".bmson"))) {
        controller.setReadOptions({carvel::ReadingMode::Full, 1});
    }
    const long baseKiB = peakKiB();

    using Clock = std::chrono::steady_clock;
    const auto msSince = [](Clock::time_point t) {
        return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
    };
    double mixedMs = -1;
    double heardMs = -1;
    double loadedMs = -1;
    double loadCpu = 0;
    const double cpuBefore = cpuSeconds();
    const Clock::time_point opened = Clock::now();
    QTimer poll;
    poll.setTimerType(Qt::PreciseTimer);
    QObject::connect(&poll, &QTimer::timeout, &app, [&] {
        if (mixedMs < 0 && output.startsMixed() > 0) {
            mixedMs = msSince(opened);
            heardMs = mixedMs + output.heardDelayMs();
        }
        if (loadedMs < 0 && !controller.decoding()) {
            loadedMs = msSince(opened);
            loadCpu = cpuSeconds() - cpuBefore;
        }
        // A second of playing after the load, for the waits it may still cause.
        if (mixedMs >= 0 && loadedMs >= 0 && msSince(opened) > loadedMs + 1000) {
            app.quit();
        }
    });
    controller.open(chart);
    poll.start(1);
    app.exec();
    std::printf(
        "%s: first sound mixed %.1f ms, heard %.1f ms; load ended %.1f ms, CPU %.3f s; "
        "peak %.1f MiB (before the chart %.1f MiB); waits %zu",
        asDecoded ? "as decoded" : "whole", mixedMs, heardMs, loadedMs, loadCpu,
        static_cast<double>(peakKiB()) / 1024, static_cast<double>(baseKiB) / 1024,
        view.atChartMs.size());
    for (const double at : view.atChartMs) {
        std::printf(" @%.0f", at);
    }
    std::printf("%s\n", output.isSilent() ? " [no sound device: the steady clock]" : "");
    return 0;
}
