#pragma once

#include <QString>
#include <QTemporaryFile>
#include <cstdint>
#include <vector>

#include "media/render_output.h"

namespace carvel::media {

// Keeps a render in a temporary file (in the system's temporary folder, TMPDIR) as it is mixed and
// notes its peak, so that a second pass can scale the whole render; memory does not grow with the
// render's length. The file is removed with the object.
class ScratchRender final : public RenderSink {
  public:
    ScratchRender();

    bool open() override;
    bool write(const float* samples, std::int64_t frames) override;

    // The largest magnitude of any sample written.
    float peak() const { return peak_; }
    // Hands the whole render to sink, in order and in blocks, every sample multiplied by gain.
    // False when the file could not be read back or the sink refused a block.
    bool replay(RenderSink& sink, float gain);
    QString error() const { return error_; }  // why the last step failed

  private:
    QTemporaryFile file_;
    float peak_ = 0;
    std::vector<float> block_;
    QString error_;
};

}  // namespace carvel::media
