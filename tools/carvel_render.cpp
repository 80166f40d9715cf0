// carvel-render [--full] [--seed N] [--normalize] [--rate N] [--max-seconds N] [--from M] [--to M]
// [--mute keys|bgm] [--speed S [--keep-pitch]] CHART OUT.wav: plays a chart (or a range of its
// measures) offline into a 16-bit stereo WAV file, written block by block as it is mixed (with
// --normalize, once the whole render has been measured in a temporary file). With OUT.mp4 or
// OUT.mkv (and --fps N, --size WxH) the picture area goes into a video file with the sound.
#include <QCoreApplication>
#include <QFile>
#include <cmath>
#include <cstdio>
#include <limits>
#include <optional>

#include "media/limiter.h"
#include "media/scratch_render.h"
#include "media/video_file_writer.h"
#include "media/wav_file_sink.h"
#include "platform/command_line.h"
#include "playback/display_texts.h"
#include "playback/offline_render.h"
#include "tools/range_options.h"
#include "tools/reading_options.h"
#include "tools/render_video.h"

namespace {

// Output stops here unless --max-seconds says otherwise: a chart can place its last event days
// away.
constexpr double kDefaultMaxSeconds = 2 * 60 * 60;

void printError(const QString& text) {
    carvel::printText(stderr, text + u'\n');
}

// A number from an option's text; nullopt when the text is no finite number.
std::optional<double> number(const QString& text) {
    bool ok = false;
    const double value = text.toDouble(&ok);
    return ok && std::isfinite(value) ? std::optional<double>(value) : std::nullopt;
}

// "WxH" with each side a whole number from 16 to 4096; nullopt otherwise.
std::optional<QSize> frameSize(const QString& text) {
    const QStringList parts = text.split(u'x');
    if (parts.size() != 2) {
        return std::nullopt;
    }
    bool okWidth = false;
    bool okHeight = false;
    const int width = parts.at(0).toInt(&okWidth);
    const int height = parts.at(1).toInt(&okHeight);
    if (!okWidth || !okHeight || width < 16 || height < 16 || width > 4096 || height > 4096) {
        return std::nullopt;
    }
    return QSize(width, height);
}

// A gain in decibels with its sign and two decimals: "+3.52 dB".
QString decibels(float gain) {
    double db = 20 * std::log10(static_cast<double>(gain));
    if (std::fabs(db) < 0.005) {
        db = 0;  // no "-0.00"
    }
    return (db >= 0 ? QStringLiteral("+") : QString()) + QString::number(db, 'f', 2) +
           QStringLiteral(" dB");
}

}  // namespace

int main(int argc, char** argv) {
    carvel::CommandLine options(
        QStringLiteral("carvel-render"),
        QStringLiteral(
            "usage: carvel-render [OPTION]... CHART OUT.wav|OUT.mp4|OUT.mkv\n"
            "Plays CHART offline into OUT.wav (16-bit stereo PCM) until its last sound ends;\n"
            "into OUT.mp4 (H.264 and AAC) or OUT.mkv (H.264 and FLAC) with its pictures.\n"
            "  --full            read the chart in full (extended BMS: 7 keys, tempo changes,\n"
            "                    stops, long notes, #RANDOM) instead of the classic reading\n"
            "  --seed N          the draws of #RANDOM in the full reading, 0 to 4294967295\n"
            "                    (default: new draws each time)\n"
            "  --normalize       scale the whole render so that its peak is at -1 dBFS\n"
            "  --rate N          sample rate, 8000 to 384000 (default 44100)\n"
            "  --max-seconds N   stop after N seconds of output (default 7200)\n") +
            carvel::rangeUsage() +
            QStringLiteral(
                "  --fps N           video: frames a second, 1 to 240 (default 30)\n"
                "  --size WxH        video: frame size, 16x16 to 4096x4096 (default 256x256)\n"
                "  -h, --help        show this text\n"
                "  --version         show the version\n"));
    options.addValue(QStringLiteral("--rate"));
    options.addValue(QStringLiteral("--max-seconds"));
    options.addFlag(QStringLiteral("--normalize"));
    options.addValue(QStringLiteral("--fps"));
    options.addValue(QStringLiteral("--size"));
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
    const bool ranged = range.changesPlay();
    const bool normalize = options.isSet(QStringLiteral("--normalize"));
    const std::optional<double> rateValue =
        number(options.value(QStringLiteral("--rate")).value_or(QStringLiteral("44100")));
    if (!rateValue || *rateValue < 8000 || *rateValue > 384000 ||
        *rateValue != std::floor(*rateValue)) {
        return options.usageError(QStringLiteral("--rate takes a whole number, 8000 to 384000"));
    }
    const std::optional<double> maxSeconds =
        number(options.value(QStringLiteral("--max-seconds"))
                   .value_or(QString::number(kDefaultMaxSeconds)));
    if (!maxSeconds || *maxSeconds <= 0) {
        return options.usageError(QStringLiteral("--max-seconds takes a number above 0"));
    }
    const QStringList& args = options.operands();
    if (args.size() != 2) {
        return options.usageError(QStringLiteral("CHART and OUT.wav expected"));
    }
    const std::optional<double> fps =
        number(options.value(QStringLiteral("--fps")).value_or(QStringLiteral("30")));
    if (!fps || *fps < 1 || *fps > 240 || *fps != std::floor(*fps)) {
        return options.usageError(QStringLiteral("--fps takes a whole number, 1 to 240"));
    }
    const std::optional<QSize> size =
        frameSize(options.value(QStringLiteral("--size")).value_or(QStringLiteral("256x256")));
    if (!size) {
        return options.usageError(
            QStringLiteral("--size takes WxH, each a whole number from 16 to 4096"));
    }
    QCoreApplication app(argc, argv);
    const int rate = static_cast<int>(*rateValue);
    if (carvel::media::VideoFileWriter::supports(args.at(1))) {
        if (normalize) {
            return options.usageError(QStringLiteral("--normalize is for WAV output only"));
        }
        if (ranged) {
            return options.usageError(QStringLiteral(
                "--from, --to, --from-ms, --to-ms, --mute and --speed are for WAV output only"));
        }
        carvel::VideoRenderOptions video;
        video.reading = reading;
        video.sampleRate = rate;
        video.maxFrames = static_cast<std::int64_t>(std::min(std::floor(*maxSeconds * rate), 9e18));
        video.fps = static_cast<int>(*fps);
        video.size = *size;
        return carvel::renderVideo(args.at(0), args.at(1), video);
    }
    const double wanted = std::floor(*maxSeconds * rate);
    const bool wavLimit = wanted >= static_cast<double>(carvel::media::WavFileSink::kMaxFrames);
    const std::int64_t maxFrames =
        wavLimit ? carvel::media::WavFileSink::kMaxFrames : static_cast<std::int64_t>(wanted);

    carvel::media::WavFileSink sink(QFile::encodeName(args.at(1)), rate);
    // Normalized, the render is measured unlimited in a first pass, then scaled into the file.
    carvel::media::ScratchRender scratch;
    carvel::RenderSettings settings;
    settings.reading = reading;
    settings.limited = !normalize;
    settings.range.fromMs = range.from.ms.value_or(0);
    settings.range.toMs = range.to.ms.value_or(std::numeric_limits<double>::infinity());
    settings.range.fromMeasure = range.from.measure;
    settings.range.toMeasure = range.to.measure;
    settings.range.mute = range.mute;
    settings.range.speed = range.speed;
    const carvel::RenderResult result = carvel::renderChart(
        args.at(0), rate, normalize ? static_cast<carvel::media::RenderSink&>(scratch) : sink,
        maxFrames, settings);
    for (const carvel::LoadMessage& message : result.messages) {
        printError(carvel::messageText(message));
    }
    if (!result.found) {
        return 1;
    }
    if (result.rangeUnplaced) {
        printError(carvel::unplacedEndText(range.from.measure ? range.from : range.to));
        return 1;
    }
    if (normalize && result.sinkFailed) {
        printError(QStringLiteral("cannot write a temporary file: ") + scratch.error());
        return 1;
    }
    // Below this peak (-600 dBFS) a render counts as silent: the gain would not be a finite float.
    const bool silent = scratch.peak() < 1e-30f;
    float gain = 1;
    if (normalize) {
        gain = silent ? 1.0f : carvel::media::Limiter::kThreshold / scratch.peak();
        if (!sink.open() || !scratch.replay(sink, gain)) {
            printError(QStringLiteral("cannot write ") + args.at(1) + QStringLiteral(": ") +
                       (sink.error().isEmpty() ? scratch.error() : sink.error()));
            return 1;
        }
    }
    if (result.sinkFailed || !sink.close()) {
        printError(QStringLiteral("cannot write ") + args.at(1) + QStringLiteral(": ") +
                   sink.error());
        return 1;
    }
    if (result.cutShort) {
        const QString seconds = QString::number(static_cast<double>(result.frames) / rate);
        printError(wavLimit ? QStringLiteral("WAV ﾌｧｲﾙの大きさの上限に達したため、") + seconds +
                                  QStringLiteral(" 秒で書き出しを打ち切りました。")
                            : seconds + QStringLiteral(" 秒で書き出しを打ち切りました。") +
                                  QStringLiteral("(--max-seconds で長さを変えられます)"));
    }
    if (normalize) {
        printError(!silent ? QStringLiteral("ﾋﾟｰｸを -1 dBFS に合わせました (ｹﾞｲﾝ ") +
                                 decibels(gain) + QStringLiteral(")。")
                           : QStringLiteral("無音のため、ｹﾞｲﾝは変えていません。"));
    }
    return 0;
}
