// carvel-play [--once] [--max-seconds N] [--full] [--seed N] [--from M] [--to M] [--mute keys|bgm]
// [--speed S [--keep-pitch]]
// CHART...: a terminal jukebox. Plays the charts (or a range of each one's measures) one after
// another through the sound card (after the last, the first again; with --once, it ends after the
// last), printing the status texts and load messages as they change. A
// chart that cannot play (missing, or without events) is passed over at once. Exit status: 0, or 1
// when no chart could be played; Ctrl+C ends it with 130, SIGTERM with 143.
#include <QCoreApplication>
#include <QFileInfo>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <functional>
#include <optional>

#include "media/sdl_output.h"
#include "platform/command_line.h"
#include "playback/display_texts.h"
#include "playback/playback_driver.h"
#include "playback/player_controller.h"
#include "tools/range_options.h"
#include "tools/reading_options.h"

namespace {

volatile std::sig_atomic_t caughtSignal = 0;

void print(const QString& text) {
    carvel::printText(stdout, text + u'\n');
    std::fflush(stdout);
}

class TerminalView final : public carvel::PlayerView {
  public:
    void loadStateChanged(carvel::LoadState state) override { print(carvel::loadStateText(state)); }
    void statusChanged(carvel::PlayerStatus status) override { print(carvel::statusText(status)); }
    void messagesChanged(const std::vector<carvel::LoadMessage>& messages) override {
        for (const carvel::LoadMessage& m : messages) {
            print(QStringLiteral("  ") + carvel::messageText(m));
        }
    }
    void informationChanged(const QString& text) override {
        QString shown = text;
        print(shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    }
};

// The charts of the command line, played as a ring.
class ArgumentQueue final : public carvel::ChartQueue {
  public:
    explicit ArgumentQueue(QStringList paths) : paths_(std::move(paths)) {}
    std::optional<QString> stepForward() override {
        current_ = current_ + 1 >= paths_.size() ? 0 : current_ + 1;
        return paths_.at(current_);
    }
    std::optional<QString> stepBack() override {
        current_ = current_ <= 0 ? paths_.size() - 1 : current_ - 1;
        return paths_.at(current_);
    }
    bool atLast() const { return current_ == paths_.size() - 1; }
    qsizetype count() const { return paths_.size(); }

  private:
    QStringList paths_;  // never empty
    qsizetype current_ = -1;
};

}  // namespace

int main(int argc, char** argv) {
    carvel::CommandLine options(
        QStringLiteral("carvel-play"),
        QStringLiteral("usage: carvel-play [OPTION]... CHART...\n"
                       "Plays the charts one after another through the sound card, over and over.\n"
                       "  --once       end after the last chart\n"
                       "  --max-seconds N\n"
                       "               end each chart after N seconds and go on to the next\n"
                       "  --full       read the charts in full (extended BMS: 7 keys, tempo\n"
                       "               changes, stops, long notes, #RANDOM) instead of the\n"
                       "               classic reading\n"
                       "  --seed N     the draws of #RANDOM in the full reading, 0 to 4294967295\n"
                       "               (default: new draws at each load)\n") +
            carvel::rangeUsage() +
            QStringLiteral("  -h, --help   show this text\n"
                           "  --version    show the version\n"));
    options.addFlag(QStringLiteral("--once"));
    options.addValue(QStringLiteral("--max-seconds"));
    carvel::addRangeOptions(options);
    carvel::ReadOptions reading;
    if (const std::optional<int> status =
            carvel::parseWithReadingOptions(options, carvel::argumentsOf(argc, argv), reading)) {
        return *status;
    }
    carvel::RangeOptions range;
    if (const std::optional<int> status = carvel::readRangeOptions(options, reading.mode, range)) {
        return *status;
    }
    if (options.operands().isEmpty()) {
        return options.usageError(QStringLiteral("at least one CHART expected"));
    }
    const bool once = options.isSet(QStringLiteral("--once"));
    std::optional<double> maxSeconds;
    if (const std::optional<QString> text = options.value(QStringLiteral("--max-seconds"))) {
        bool ok = false;
        maxSeconds = text->toDouble(&ok);
        if (!ok || !std::isfinite(*maxSeconds) || *maxSeconds <= 0) {
            return options.usageError(QStringLiteral("--max-seconds takes a number above 0"));
        }
    }

    QCoreApplication app(argc, argv);
    carvel::media::SdlOutput output;
    if (output.isSilent()) {
        print(carvel::noSoundDeviceText(output.failure()));
    }
    QStringList paths;
    for (const QString& path : options.operands()) {
        paths.append(QFileInfo(path).absoluteFilePath());
    }
    ArgumentQueue queue(paths);
    TerminalView view;
    carvel::PlayerController controller(output, output, queue, view);
    // next() below asks running() as soon as it has opened a chart: the load ends within open().
    controller.setLoadsInBackground(false);
    controller.setReadOptions(reading);
    controller.setMute(range.mute);
    controller.setSpeed(range.speed);
    carvel::PlaybackDriver driver([&controller] { return controller.pass(); }, output);
    controller.setWakeHandler([&driver] { driver.wake(); });

    // Opens the next chart. One that cannot play is passed over from the event loop, so a long
    // list of them never nests; a whole round of them ends the program.
    bool playedAny = false;
    qsizetype unplayable = 0;
    QTimer limit;  // the --max-seconds of the chart that plays
    limit.setSingleShot(true);
    QTimer rangeEnd;  // watches for --to in the chart that plays
    double rangeEndMs = 0;
    std::function<void()> next = [&] {
        limit.stop();
        if (once && queue.atLast()) {
            app.exit(playedAny ? 0 : 1);
            return;
        }
        if (unplayable == queue.count()) {
            app.exit(1);
            return;
        }
        rangeEnd.stop();
        controller.next();
        if (controller.running()) {
            playedAny = true;
            unplayable = 0;
            const carvel::Timeline& timeline = controller.chart().timeline();
            if (range.from.given()) {
                if (const std::optional<double> from = carvel::rangeEndMs(range.from, timeline)) {
                    controller.seekTo(*from);
                } else {
                    print(carvel::unplacedEndText(range.from));
                }
            }
            if (range.to.given()) {
                if (const std::optional<double> to = carvel::rangeEndMs(range.to, timeline)) {
                    rangeEndMs = *to;
                    rangeEnd.start(10);
                } else {
                    print(carvel::unplacedEndText(range.to));
                }
            }
            if (maxSeconds) {
                limit.start(static_cast<int>(std::min(*maxSeconds * 1000, 2147483647.0)));
            }
        } else {
            ++unplayable;
            QTimer::singleShot(0, &app, next);
        }
    };
    controller.setCompletionHandler([&next] { next(); });
    // At --to the chart ends, cutting the sounds that still ring, and the next one starts.
    QObject::connect(&rangeEnd, &QTimer::timeout, &app, [&] {
        if (controller.positionMs() >= rangeEndMs) {
            rangeEnd.stop();
            controller.stop();
            output.stopAll();
            QTimer::singleShot(0, &app, next);
        }
    });
    QObject::connect(&limit, &QTimer::timeout, &app, [&] {
        print(QString::number(*maxSeconds) +
              QStringLiteral(" 秒で演奏を打ち切りました。(--max-seconds で長さを変えられます)"));
        controller.stop();
        QTimer::singleShot(0, &app, next);
    });

    std::signal(SIGINT, [](int signal) { caughtSignal = signal; });
    std::signal(SIGTERM, [](int signal) { caughtSignal = signal; });
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, &app, [&] {
        if (caughtSignal != 0) {
            controller.stop();
            app.exit(128 + caughtSignal);
        }
    });
    watch.start(100);
    QTimer::singleShot(0, &app, next);
    return app.exec();
}
