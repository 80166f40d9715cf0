#include "media/scratch_render.h"

#include <QDir>
#include <algorithm>
#include <cmath>

namespace carvel::media {

namespace {
constexpr std::int64_t kBlockFrames = 4096;
}

ScratchRender::ScratchRender()
    : file_(QDir::tempPath() + QStringLiteral("/carvel-render-XXXXXX.raw")) {}

bool ScratchRender::open() {
    if (!file_.open()) {
        error_ = file_.errorString();
        return false;
    }
    return true;
}

bool ScratchRender::write(const float* samples, std::int64_t frames) {
    const std::int64_t count = 2 * frames;
    for (std::int64_t i = 0; i < count; ++i) {
        peak_ = std::max(peak_, std::fabs(samples[i]));
    }
    const auto bytes = static_cast<qint64>(count * static_cast<std::int64_t>(sizeof(float)));
    if (file_.write(reinterpret_cast<const char*>(samples), bytes) != bytes) {
        error_ = file_.errorString();
        return false;
    }
    return true;
}

bool ScratchRender::replay(RenderSink& sink, float gain) {
    if (!file_.flush() || !file_.seek(0)) {
        error_ = file_.errorString();
        return false;
    }
    block_.resize(2 * kBlockFrames);
    const auto frameBytes = static_cast<qint64>(2 * sizeof(float));
    for (;;) {
        const qint64 got =
            file_.read(reinterpret_cast<char*>(block_.data()), kBlockFrames * frameBytes);
        if (got < 0) {
            error_ = file_.errorString();
            return false;
        }
        const std::int64_t frames = got / frameBytes;
        if (frames == 0) {
            return true;
        }
        for (std::int64_t i = 0; i < 2 * frames; ++i) {
            block_[static_cast<size_t>(i)] *= gain;
        }
        if (!sink.write(block_.data(), frames)) {
            return false;
        }
    }
}

}  // namespace carvel::media
