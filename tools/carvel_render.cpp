// carvel-render CHART OUT.wav [--rate N]: plays a chart offline into a 16-bit stereo WAV file.
#include <sndfile.h>

#include <QCoreApplication>
#include <QFile>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "playback/display_texts.h"
#include "playback/offline_render.h"

namespace {

void printError(const QString& text) {
    const QByteArray utf8 = text.toUtf8() + '\n';
    std::fwrite(utf8.constData(), 1, static_cast<size_t>(utf8.size()), stderr);
}

int usage() {
    std::fputs("usage: carvel-render CHART OUT.wav [--rate N]\n", stderr);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments();
    args.removeFirst();
    int rate = 44100;
    const qsizetype rateAt = args.indexOf(QStringLiteral("--rate"));
    if (rateAt >= 0) {
        bool ok = false;
        rate = rateAt + 1 < args.size() ? args.at(rateAt + 1).toInt(&ok) : 0;
        if (!ok || rate < 8000 || rate > 384000) {
            return usage();
        }
        args.remove(rateAt, 2);
    }
    if (args.size() != 2) {
        return usage();
    }
    const carvel::RenderResult result = carvel::renderChart(args.at(0), rate);
    for (const carvel::LoadMessage& message : result.messages) {
        printError(carvel::messageText(message));
    }
    if (!result.found) {
        return 1;
    }
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    const QByteArray out = QFile::encodeName(args.at(1));
    SNDFILE* file = sf_open(out.constData(), SFM_WRITE, &info);
    if (file == nullptr) {
        printError(QStringLiteral("cannot write ") + args.at(1) + QStringLiteral(": ") +
                   QString::fromUtf8(sf_strerror(nullptr)));
        return 1;
    }
    // Converted and written in chunks: a long chart is hundreds of megabytes as one block.
    constexpr size_t kChunk = 65536;
    std::vector<short> pcm(kChunk);
    bool complete = true;
    for (size_t at = 0; at < result.samples.size() && complete; at += kChunk) {
        const size_t n = std::min(kChunk, result.samples.size() - at);
        for (size_t i = 0; i < n; ++i) {
            const float v = std::clamp(result.samples[at + i], -1.0f, 1.0f) * 32767.0f;
            pcm[i] = static_cast<short>(v >= 0 ? v + 0.5f : v - 0.5f);
        }
        complete = sf_write_short(file, pcm.data(), static_cast<sf_count_t>(n)) ==
                   static_cast<sf_count_t>(n);
    }
    sf_close(file);
    if (!complete) {
        printError(QStringLiteral("cannot write ") + args.at(1));
        return 1;
    }
    return 0;
}
