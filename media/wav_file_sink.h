#pragma once

#include <sndfile.h>

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <memory>
#include <vector>

#include "media/render_output.h"
#include "media/replacing_file.h"

namespace carvel::media {

// Writes a render to a 16-bit stereo PCM WAV file as it is mixed: samples are clamped to [-1, 1],
// scaled by 32767 and rounded half away from zero. The render goes to a new file beside the target
// (same folder, a hidden name), which takes the target's place, with the target's permissions
// where there was one, only once close() has completed it: a render that fails, or a sink
// destroyed before close(), leaves whatever file had the name untouched and removes its own. A
// target that exists but is no regular file (a device, a FIFO) is written directly. When the
// target is a symbolic link, the file it names is replaced and the link kept.
class WavFileSink final : public RenderSink {
  public:
    // A RIFF file cannot describe more sample data than this many frames.
    static constexpr std::int64_t kMaxFrames = (std::int64_t{0xFFFFFFFF} - 1024) / 4;

    WavFileSink(QByteArray nativePath, int sampleRate);
    ~WavFileSink() override;
    WavFileSink(const WavFileSink&) = delete;
    WavFileSink& operator=(const WavFileSink&) = delete;

    bool open() override;
    bool write(const float* samples, std::int64_t frames) override;
    // Completes the file and puts it in the target's place; false when that could not be done.
    bool close();
    QString error() const { return error_; }  // why the last step failed

  private:
    struct Closer {
        void operator()(SNDFILE* file) const { sf_close(file); }
    };

    bool fail(const QString& error);
    void discard();

    QByteArray path_;
    int rate_;
    ReplacingFile out_;
    std::unique_ptr<SNDFILE, Closer> file_;
    std::vector<short> pcm_;
    QString error_;
};

}  // namespace carvel::media
