// carvel-render CHART OUT.wav [--rate N] [--max-seconds N]: plays a chart offline into a 16-bit
// stereo WAV file, written block by block as it is mixed.
#include <QCoreApplication>
#include <QFile>
#include <cmath>
#include <cstdio>

#include "media/wav_file_sink.h"
#include "playback/offline_render.h"

namespace {

// Output stops here unless --max-seconds says otherwise: a chart can place its last event days
// away.
constexpr double kDefaultMaxSeconds = 2 * 60 * 60;

void printError(const QString& text) {
    const QByteArray utf8 = text.toUtf8() + '\n';
    std::fwrite(utf8.constData(), 1, static_cast<size_t>(utf8.size()), stderr);
}

int usage() {
    std::fputs("usage: carvel-render CHART OUT.wav [--rate N] [--max-seconds N]\n", stderr);
    return 2;
}

// Takes `name` and the value after it out of args; nullopt when absent, NaN when unusable.
std::optional<double> takeNumber(QStringList& args, const QString& name) {
    const qsizetype at = args.indexOf(name);
    if (at < 0) {
        return std::nullopt;
    }
    bool ok = false;
    const double value = at + 1 < args.size() ? args.at(at + 1).toDouble(&ok) : 0;
    args.remove(at, std::min<qsizetype>(2, args.size() - at));
    return ok && std::isfinite(value) ? value : std::nan("");
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments();
    args.removeFirst();
    const double rateValue = takeNumber(args, QStringLiteral("--rate")).value_or(44100);
    const double maxSeconds =
        takeNumber(args, QStringLiteral("--max-seconds")).value_or(kDefaultMaxSeconds);
    if (!(rateValue >= 8000 && rateValue <= 384000 && rateValue == std::floor(rateValue)) ||
        !(maxSeconds > 0) || args.size() != 2) {
        return usage();
    }
    const int rate = static_cast<int>(rateValue);
    const double wanted = std::floor(maxSeconds * rate);
    const bool wavLimit = wanted >= static_cast<double>(carvel::media::WavFileSink::kMaxFrames);
    const std::int64_t maxFrames =
        wavLimit ? carvel::media::WavFileSink::kMaxFrames : static_cast<std::int64_t>(wanted);

    carvel::media::WavFileSink sink(QFile::encodeName(args.at(1)), rate);
    const carvel::RenderResult result = carvel::renderChart(args.at(0), rate, sink, maxFrames);
    for (const QString& message : result.messages) {
        printError(message);
    }
    if (result.loadResult == 1) {
        return 1;
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
    return 0;
}
