#include "player_rig.h"

#include <sndfile.h>

#include <QFile>
#include <utility>

namespace carvel::bench {

PlayerRig::PlayerRig(PlayerView* view)
    : controller_(output_, output_, queue_, view != nullptr ? *view : quiet_),
      driver_([this] { return controller_.pass(); }, output_) {
    controller_.setWakeHandler([this] { driver_.wake(); });
}

NextMixTimer::NextMixTimer(const media::SdlOutput& output, std::function<void(double)> mixed)
    : output_(output), mixed_(std::move(mixed)) {
    poll_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&poll_, &QTimer::timeout, &poll_, [this] {
        if (output_.startsMixed() == before_) {
            return;
        }
        poll_.stop();
        mixed_(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started_)
                .count());
    });
}

void NextMixTimer::start(const std::function<void()>& action) {
    before_ = output_.startsMixed();
    started_ = std::chrono::steady_clock::now();
    action();
    poll_.start(0);
}

void writeWav(const QString& path, const std::vector<short>& samples, int channels) {
    SF_INFO info{};
    info.samplerate = 44100;
    info.channels = channels;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* file = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
    sf_writef_short(file, samples.data(), static_cast<sf_count_t>(samples.size()) / channels);
    sf_close(file);
}

QString writeChart(const QTemporaryDir& dir, const QString& name, const QByteArray& text) {
    QFile file(dir.filePath(name));
    file.open(QIODevice::WriteOnly);
    file.write(text);
    return file.fileName();
}

QByteArray chartIndex(int index) {
    return QByteArray::number(index, 36).toUpper().rightJustified(2, '0');
}

}  // namespace carvel::bench
