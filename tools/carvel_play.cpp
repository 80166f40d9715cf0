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
    void loadStateChanged(const QString& text) override { print(text); }
    void statusChanged(const QString& text) override {
        print(text);
        if (onStatus) {
            onStatus(text);
        }
    }
    void messagesChanged(const QStringList& messages) override {
        for (const QString& m : messages) {
            print(QStringLiteral("  ") + m);
        }
    }
    void informationChanged(const QString& text) override {
        QString shown = text;
        print(shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    }
    std::function<void(const QString&)> onStatus;
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
    carvel::ChartState chart;
    chart.Reset();
    carvel::Playlist playlist;
    for (const QString& path : args) {
        playlist.append({QFileInfo(path).fileName(), QFileInfo(path).absoluteFilePath()});
    }
    TerminalView view;
    carvel::PlayerController controller(chart, playlist, output, output, view);
    carvel::PlaybackDriver driver(controller.engine(), output);
    controller.setWakeHandler([&driver] { driver.wake(); });

    view.onStatus = [&](const QString& text) {
        const bool last = playlist.current() == playlist.count() - 1;
        if (once && last && text == QStringLiteral("ｽﾃｰﾀｽ : 再生が完了しました。")) {
            // Emptying the list before the player moves on ends the chain here.
            playlist.clear();
            QTimer::singleShot(0, &app, [&] { app.quit(); });
        }
    };
    std::signal(SIGINT, [](int) { interrupted = true; });
    std::signal(SIGTERM, [](int) { interrupted = true; });
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, &app, [&] {
        if (interrupted) {
            controller.cmdStop_Click();
            app.quit();
        }
    });
    watch.start(100);
    QTimer::singleShot(0, &app, [&] { controller.toNext(); });
    return app.exec();
}
