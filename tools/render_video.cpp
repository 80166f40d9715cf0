#include "tools/render_video.h"

#include <QFile>
#include <algorithm>
#include <cstdio>

#include "media/video_file_writer.h"
#include "platform/command_line.h"
#include "playback/display_texts.h"
#include "playback/frame_sampler.h"
#include "playback/offline_render.h"

namespace carvel {

namespace {

// Progress goes to stderr once per this much of the render.
constexpr double kProgressEveryMs = 10000;

void printError(const QString& text) {
    printText(stderr, text + u'\n');
}

// The sound goes to the writer; once it has been mixed up to a time, no picture can change
// before it, so the frames up to there go too and the file's streams keep in step.
class VideoSink final : public media::RenderSink {
  public:
    VideoSink(media::VideoFileWriter& writer, FrameSampler& sampler, int rate)
        : writer_(writer), sampler_(sampler), rate_(rate) {}

    bool open() override { return writer_.open(); }
    bool write(const float* samples, std::int64_t frames) override {
        mixed_ += frames;
        const double ms = static_cast<double>(mixed_) * 1000 / rate_;
        if (ms >= nextProgressMs_) {
            printError(QStringLiteral("書き出し中: ") + QString::number(ms / 1000, 'f', 0) +
                       QStringLiteral(" 秒"));
            nextProgressMs_ = ms + kProgressEveryMs;
        }
        return writer_.write(samples, frames) && sampler_.emitBefore(ms);
    }

  private:
    media::VideoFileWriter& writer_;
    FrameSampler& sampler_;
    int rate_;
    std::int64_t mixed_ = 0;
    double nextProgressMs_ = kProgressEveryMs;
};

}  // namespace

int renderVideo(const QString& chartPath, const QString& outPath,
                const VideoRenderOptions& options) {
    media::VideoFileWriter::Settings settings;
    settings.size = options.size;
    settings.fps = options.fps;
    settings.sampleRate = options.sampleRate;
    media::VideoFileWriter writer(QFile::encodeName(outPath), settings);
    const int side = std::min(options.size.width(), options.size.height());
    FrameSampler sampler(options.fps, QSize(side, side),
                         [&writer](const QImage& frame) { return writer.addPicture(frame); });
    VideoSink sink(writer, sampler, options.sampleRate);

    RenderPictures pictures;
    pictures.size = QSize(side, side);
    pictures.changed = [&sampler](const QImage& picture, double dueMs) {
        sampler.change(picture, dueMs);
    };
    RenderSettings render;
    render.reading = options.reading;
    render.pictures = &pictures;
    const RenderResult result =
        renderChart(chartPath, options.sampleRate, sink, options.maxFrames, render);
    for (const LoadMessage& message : result.messages) {
        printError(messageText(message));
    }
    if (!result.found) {
        return 1;
    }
    const double endMs = static_cast<double>(result.frames) * 1000 / options.sampleRate;
    if (result.sinkFailed || !sampler.finish(endMs) || !writer.close()) {
        printError(QStringLiteral("cannot write ") + outPath + QStringLiteral(": ") +
                   writer.error());
        return 1;
    }
    if (result.cutShort) {
        printError(QString::number(endMs / 1000) +
                   QStringLiteral(" 秒で書き出しを打ち切りました。") +
                   QStringLiteral("(--max-seconds で長さを変えられます)"));
    }
    return 0;
}

}  // namespace carvel
