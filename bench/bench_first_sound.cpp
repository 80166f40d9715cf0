// From Play to the first sound mixed, for a chart with 300 sounds already loaded. Runs the real
// SDL output (set SDL_AUDIODRIVER=dummy or disk where there is no sound card) and the real driver.
#include <sndfile.h>
#include <QCoreApplication>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "media/sdl_output.h"
#include "playback/playback_driver.h"
#include "playback/player_controller.h"

// The queue of the measurement: nothing to step to.
class OneChart final : public carvel::ChartQueue {
  public:
    std::optional<QString> stepForward() override { return std::nullopt; }
    std::optional<QString> stepBack() override { return std::nullopt; }
};

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    QByteArray chart = "#BPM 150\n";
    std::vector<short> samples(4410, 3000);
    for (int i = 1; i <= 300; ++i) {
        const QString name = QStringLiteral("s%1.wav").arg(i);
        SF_INFO info{};
        info.samplerate = 44100;
        info.channels = 1;
        info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
        SNDFILE* f = sf_open(QFile::encodeName(dir.filePath(name)).constData(), SFM_WRITE, &info);
        sf_writef_short(f, samples.data(), static_cast<sf_count_t>(samples.size()));
        sf_close(f);
        chart += "#WAV" + QByteArray::number(i, 36).toUpper().rightJustified(2, '0') + " " +
                 name.toLatin1() + "\n";
    }
    chart += "#00011:01020304\n";
    QFile file(dir.filePath(QStringLiteral("c.bms")));
    file.open(QIODevice::WriteOnly);
    file.write(chart);
    file.close();

    carvel::media::SdlOutput output;
    OneChart queue;
    carvel::PlayerView view;
    carvel::PlayerController controller(output, output, queue, view);
    carvel::PlaybackDriver driver([&] { return controller.pass(); }, output);
    controller.setWakeHandler([&] { driver.wake(); });
    controller.setLoadsInBackground(false);
    controller.open(file.fileName());  // loads and plays once, so everything is warm
    controller.stop();

    std::vector<double> delays;
    int round = 0;
    std::chrono::steady_clock::time_point clicked;
    std::int64_t before = 0;
    QTimer poll;
    poll.setTimerType(Qt::PreciseTimer);
    auto next = [&] {
        QTimer::singleShot(300, &app, [&] {
            controller.stop();
            output.stopAll();
            QTimer::singleShot(200, &app, [&] {
                before = output.startsMixed();
                clicked = std::chrono::steady_clock::now();
                controller.play();
                poll.start(0);
            });
        });
    };
    QObject::connect(&poll, &QTimer::timeout, &app, [&] {
        if (output.startsMixed() == before) {
            return;
        }
        poll.stop();
        delays.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - clicked)
                .count());
        if (++round == 20) {
            app.quit();
            return;
        }
        next();
    });
    next();
    app.exec();
    std::sort(delays.begin(), delays.end());
    std::printf(
        "Play to first sound mixed (300 sounds loaded, %d runs): median %.1f ms, worst %.1f ms%s\n",
        static_cast<int>(delays.size()), delays[delays.size() / 2], delays.back(),
        output.isSilent() ? " [no sound device: not measured]" : "");
    return 0;
}
