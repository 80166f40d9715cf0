// carvel-play [--once] CHART...: a terminal jukebox. Plays the charts one after another through
// the sound card (after the last, the first again; with --once, it stops after the last), printing
// the status texts and load messages as they change. Ctrl+C stops it.
#include <QCoreApplication>
#include <QFileInfo>
#include <QTimer>
#include <atomic>
#include <csignal>
#include <cstdio>

#include "media/sdl_output.h"
#include "playback/display_texts.h"
#include "playback/playback_driver.h"
#include "playback/player_controller.h"

namespace {

std::atomic<bool> interrupted{false};

void print(const QString& text) {
    const QByteArray utf8 = text.toUtf8() + '\n';
    std::fwrite(utf8.constData(), 1, static_cast<size_t>(utf8.size()), stdout);
    std::fflush(stdout);
}

class TerminalView final : public carvel::PlayerView {
  public:
    void loadStateChanged(carvel::LoadState state) override { print(carvel::loadStateText(state)); }
    void statusChanged(carvel::PlayerStatus status) override {
        print(carvel::statusText(status));
        if (onStatus) {
            onStatus(status);
        }
    }
    void messagesChanged(const std::vector<carvel::LoadMessage>& messages) override {
        for (const carvel::LoadMessage& m : messages) {
            print(QStringLiteral("  ") + carvel::messageText(m));
        }
    }
    void informationChanged(const QString& text) override {
        QString shown = text;
        print(shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    }
    std::function<void(carvel::PlayerStatus)> onStatus;
};

// The charts of the command line, played as a ring.
class ArgumentQueue final : public carvel::ChartQueue {
  public:
    explicit ArgumentQueue(QStringList paths) : paths_(std::move(paths)) {}
    std::optional<QString> stepForward() override {
        if (paths_.isEmpty()) {
            return std::nullopt;
        }
        current_ = current_ + 1 >= paths_.size() ? 0 : current_ + 1;
        return paths_.at(current_);
    }
    std::optional<QString> stepBack() override {
        if (paths_.isEmpty()) {
            return std::nullopt;
        }
        current_ = current_ <= 0 ? paths_.size() - 1 : current_ - 1;
        return paths_.at(current_);
    }
    bool atLast() const { return current_ == paths_.size() - 1; }
    void clear() { paths_.clear(); }

  private:
    QStringList paths_;
    qsizetype current_ = -1;
};

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments();
    args.removeFirst();
    const bool once = args.removeAll(QStringLiteral("--once")) > 0;
    if (args.isEmpty()) {
        std::fputs("usage: carvel-play [--once] CHART...\n", stderr);
        return 2;
    }

    carvel::media::SdlOutput output;
    if (output.isSilent()) {
        print(QStringLiteral("サウンドデバイスを開けません (") + output.failure() +
              QStringLiteral(")。音を出さずに再生します。"));
    }
    QStringList paths;
    for (const QString& path : args) {
        paths.append(QFileInfo(path).absoluteFilePath());
    }
    ArgumentQueue queue(paths);
    TerminalView view;
    carvel::PlayerController controller(output, output, queue, view);
    carvel::PlaybackDriver driver([&controller] { return controller.pass(); }, output);
    controller.setWakeHandler([&driver] { driver.wake(); });

    view.onStatus = [&](carvel::PlayerStatus status) {
        if (once && queue.atLast() && status == carvel::PlayerStatus::Completed) {
            // Emptying the queue before the player moves on ends the chain here.
            queue.clear();
            QTimer::singleShot(0, &app, [&] { app.quit(); });
        }
    };
    std::signal(SIGINT, [](int) { interrupted = true; });
    std::signal(SIGTERM, [](int) { interrupted = true; });
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, &app, [&] {
        if (interrupted) {
            controller.stop();
            app.quit();
        }
    });
    watch.start(100);
    QTimer::singleShot(0, &app, [&] { controller.next(); });
    return app.exec();
}
