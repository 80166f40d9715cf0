#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>
#include <cstdint>
#include <memory>

#include "media/render_output.h"

namespace carvel::media {

// Writes one video file: an H.264 picture stream (yuv420p) at a fixed frame rate and the render's
// sound (AAC in .mp4, FLAC in .mkv), muxed by libavformat. The sound comes in as a RenderSink gets
// it and is turned into 16-bit samples by toPcm16, as the WAV render does, so a .mkv holds the
// very samples of the WAV render. Pictures and sound are encoded as they arrive; what is held is a
// frame or two of the encoders plus what the muxer keeps to interleave the two streams (at most
// its max_interleave_delta, 10 s, when one stream runs far ahead of the other). The file is
// written like WavFileSink's: a new file beside the target takes the target's place, with its
// permissions, only once close() has completed it; a target that is no regular file is written
// directly, and a symbolic link is kept while the file it names is replaced.
class VideoFileWriter final : public RenderSink {
  public:
    // Width and height must be even (yuv420p halves them for the colour planes); open() refuses
    // anything else rather than change the size asked for.
    struct Settings {
        QSize size{256, 256};
        int fps = 30;
        int sampleRate = 44100;
    };

    VideoFileWriter(QByteArray nativePath, Settings settings);
    // Without a completed close(), the new file is removed and the target left as it was.
    ~VideoFileWriter() override;
    VideoFileWriter(const VideoFileWriter&) = delete;
    VideoFileWriter& operator=(const VideoFileWriter&) = delete;

    // The file names a container this writer makes: .mp4 or .mkv, in any letter case.
    static bool supports(const QString& path);

    // False with error(): an unknown extension, bad settings (an odd or empty size, a frame rate
    // not within 1 to 1000, a sample rate the sound encoder does not take), a missing encoder, a
    // file that cannot be created.
    bool open() override;
    // `frames` interleaved stereo frames at the sample rate of the settings.
    bool write(const float* samples, std::int64_t frames) override;
    // The k-th picture (from 0) is shown from k / fps seconds on. Any format and size: it is
    // scaled to the settings' size with its proportions kept, centred on black; transparent parts
    // show the black.
    bool addPicture(const QImage& picture);
    std::int64_t picturesWritten() const;
    // Drains both encoders, completes the file and puts it in the target's place; false when that
    // could not be done. After a failure of any call, every later call returns false.
    bool close();
    QString error() const { return error_; }  // why the last step failed

  private:
    class Output;

    bool fail(const QString& error);

    QByteArray path_;
    Settings settings_;
    std::unique_ptr<Output> output_;
    std::int64_t pictures_ = 0;
    QString error_;
};

}  // namespace carvel::media
