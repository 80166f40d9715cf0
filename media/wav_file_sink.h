#pragma once

#include <sndfile.h>

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <memory>
#include <vector>

#include "media/render_output.h"

namespace carvel::media {

// Writes a render to a 16-bit stereo PCM WAV file as it is mixed: samples are clamped to [-1, 1],
// scaled by 32767 and rounded half away from zero. The file is created by open() and complete,
// header included, after close() (or destruction), however much was written.
class WavFileSink final : public RenderSink {
  public:
    // A RIFF file cannot describe more sample data than this many frames.
    static constexpr std::int64_t kMaxFrames = (std::int64_t{0xFFFFFFFF} - 1024) / 4;

    WavFileSink(QByteArray nativePath, int sampleRate);

    bool open() override;
    bool write(const float* samples, std::int64_t frames) override;
    // Finishes the file; false when it could not be completed.
    bool close();
    QString error() const { return error_; }  // why the last step failed

  private:
    struct Closer {
        void operator()(SNDFILE* file) const { sf_close(file); }
    };

    QByteArray path_;
    int rate_;
    std::unique_ptr<SNDFILE, Closer> file_;
    std::vector<short> pcm_;
    QString error_;
};

}  // namespace carvel::media
