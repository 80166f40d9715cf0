#include "chart/media_definitions.h"

#include "chart/text_helpers.h"
#include "media/picture_decoder.h"
#include "media/sound_decoder.h"
#include "media/worker_pool.h"

namespace carvel {

MediaDefinitions::MediaDefinitions(ChartState& state, int sampleRate)
    : state_(state), sampleRate_(sampleRate) {}

size_t MediaDefinitions::slotFor(Kind kind, const QByteArray& path) {
    // A file named by several lines is decoded once.
    const QByteArray key = QByteArray::number(static_cast<int>(kind)) + '|' + path;
    const auto found = slots_.constFind(key);
    if (found != slots_.constEnd()) {
        return found.value();
    }
    jobs_.push_back(DecodeJob{kind, path, nullptr, nullptr});
    slots_.insert(key, jobs_.size() - 1);
    return jobs_.size() - 1;
}

void MediaDefinitions::addSound(const QString& line) {
    Definition d;
    d.kind = Kind::Sound;
    d.indexText = line.mid(4, 2);
    d.index = HexToInt(d.indexText);
    state_.growWav(d.index);
    d.name = trimSpaces(line.mid(7));
    d.file = resolver_.resolve(state_.strChartDir, d.name);
    if (d.file.found()) {
        d.decodeSlot = slotFor(Kind::Sound, d.file.native);
    }
    definitions_.push_back(std::move(d));
}

void MediaDefinitions::addPicture(const QString& line) {
    Definition d;
    d.kind = Kind::Picture;
    d.indexText = line.mid(4, 2);
    d.index = HexToInt(d.indexText);
    state_.growBmp(d.index);
    d.name = trimSpaces(line.mid(7));
    d.file = resolver_.resolve(state_.strChartDir, d.name);
    // The format test looks at the end of the whole line, as written.
    d.notBitmap = line.right(4).toUpper() != u".BMP";
    if (d.file.found() && !d.notBitmap) {
        d.decodeSlot = slotFor(Kind::Picture, d.file.native);
    }
    definitions_.push_back(std::move(d));
}

void MediaDefinitions::addStage(const QString& value) {
    Definition d;
    d.kind = Kind::Stage;
    d.name = value;
    d.file = resolver_.resolve(state_.strChartDir, d.name);
    if (d.file.found()) {
        d.decodeSlot = slotFor(Kind::Stage, d.file.native);
    }
    definitions_.push_back(std::move(d));
}

void MediaDefinitions::decodeAndApply(QStringList& messages, int threads) {
    media::parallelFor(
        jobs_.size(),
        [this](size_t i) {
            DecodeJob& job = jobs_[i];
            switch (job.kind) {
                case Kind::Sound:
                    job.sound = media::decodeSound(job.path, sampleRate_);
                    break;
                case Kind::Picture:
                    job.picture = media::decodePicture(job.path, kBmpSize);
                    break;
                case Kind::Stage:
                    job.picture = media::decodePicture(job.path, kStageSize);
                    break;
            }
        },
        threads);

    for (const Definition& d : definitions_) {
        const auto index = static_cast<size_t>(d.index);
        switch (d.kind) {
            case Kind::Sound:
                if (!d.file.found()) {
                    messages.append(QStringLiteral("Waveﾌｧｲﾙ ") + d.name +
                                    QStringLiteral(" が見つかりません。(WAV") + d.indexText + u')');
                } else if (!jobs_[d.decodeSlot].sound) {
                    messages.append(QStringLiteral("Waveﾌｧｲﾙ ") + d.name +
                                    QStringLiteral(" を読み込めません。(WAV") + d.indexText + u')');
                } else {
                    state_.dsbWav[index] = jobs_[d.decodeSlot].sound;
                    state_.blnWav[index] = true;
                }
                break;
            case Kind::Picture:
                if (!d.file.found()) {
                    messages.append(QStringLiteral("Bmpﾌｧｲﾙ ") + d.name +
                                    QStringLiteral(" が見つかりません。(BMP") + d.indexText + u')');
                } else if (d.notBitmap) {
                    messages.append(
                        QStringLiteral("bmp 形式以外の画像を表示することはできません。"));
                } else if (!jobs_[d.decodeSlot].picture) {
                    messages.append(QStringLiteral("Bmpﾌｧｲﾙ ") + d.name +
                                    QStringLiteral(" を読み込めません。(BMP") + d.indexText + u')');
                } else {
                    state_.ddsBmp[index] = jobs_[d.decodeSlot].picture;
                    state_.blnBmp[index] = true;
                }
                break;
            case Kind::Stage:
                if (!d.file.found()) {
                    messages.append(QStringLiteral("Bmpﾌｧｲﾙ ") + d.name +
                                    QStringLiteral(" が見つかりません。(STAGEFILE)"));
                } else if (!jobs_[d.decodeSlot].picture) {
                    messages.append(QStringLiteral("Bmpﾌｧｲﾙ ") + d.name +
                                    QStringLiteral(" を読み込めません。(STAGEFILE)"));
                } else {
                    state_.ddsStage = jobs_[d.decodeSlot].picture;
                    state_.blnStage = true;
                }
                break;
        }
    }
    definitions_.clear();
    jobs_.clear();
    slots_.clear();
}

}  // namespace carvel
