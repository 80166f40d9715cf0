#include "chart/media_definitions.h"

#include <new>
#include <optional>

#include "chart/text_helpers.h"
#include "media/picture_decoder.h"
#include "media/sound_decoder.h"
#include "media/worker_pool.h"

namespace carvel {

MediaDefinitions::MediaDefinitions(ChartState& state, int sampleRate, std::size_t soundBudgetBytes)
    : state_(state), sampleRate_(sampleRate), soundBudgetBytes_(soundBudgetBytes) {}

size_t MediaDefinitions::slotFor(Kind kind, const QByteArray& path) {
    // A file named by several lines is decoded once.
    const QByteArray key = QByteArray::number(static_cast<int>(kind)) + '|' + path;
    const auto found = slots_.constFind(key);
    if (found != slots_.constEnd()) {
        return found.value();
    }
    DecodeJob job;
    job.kind = kind;
    job.path = path;
    if (kind == Kind::Sound) {
        job.ticket = soundTickets_++;
    }
    jobs_.push_back(std::move(job));
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

QString MediaDefinitions::soundMessage(const Definition& d, const DecodeJob& job) {
    const QString head = QStringLiteral("Waveﾌｧｲﾙ ") + d.name;
    const QString tail = QStringLiteral("(WAV") + d.indexText + u')';
    switch (job.outcome) {
        case Outcome::UnsupportedRate:
            return head + QStringLiteral(" のｻﾝﾌﾟﾙﾚｰﾄ (") + QString::number(job.fileRate) +
                   QStringLiteral(" Hz) には対応していません。") + tail;
        case Outcome::TooLong:
            return head + QStringLiteral(" は長すぎます。") + tail;
        case Outcome::OverBudget:
            return head + QStringLiteral(" を読み込めません。ｻｳﾝﾄﾞの合計が大きすぎます。") + tail;
        case Outcome::Decoded:
        case Outcome::Unreadable:
            break;
    }
    return head + QStringLiteral(" を読み込めません。") + tail;
}

void MediaDefinitions::loadSound(DecodeJob& job, media::SoundBudget& budget) const {
    // Every ticket is decided exactly once, whatever happens, or the later sounds would wait.
    std::optional<media::SoundFile> file;
    try {
        file.emplace(job.path, sampleRate_);
    } catch (const std::bad_alloc&) {
        budget.pass(job.ticket);
        return;
    }
    job.fileRate = file->fileRate();
    switch (file->status()) {
        case media::SoundFile::Status::Ok:
            break;
        case media::SoundFile::Status::Unreadable:
            budget.pass(job.ticket);
            return;
        case media::SoundFile::Status::UnsupportedRate:
            job.outcome = Outcome::UnsupportedRate;
            budget.pass(job.ticket);
            return;
        case media::SoundFile::Status::TooLong:
            job.outcome = Outcome::TooLong;
            budget.pass(job.ticket);
            return;
    }
    if (!budget.admit(job.ticket, file->decodedBytes())) {
        job.outcome = Outcome::OverBudget;
        return;
    }
    job.sound = file->decode();
    job.outcome = job.sound ? Outcome::Decoded : Outcome::Unreadable;
}

void MediaDefinitions::decodeAndApply(QStringList& messages, int threads) {
    media::SoundBudget budget(soundBudgetBytes_);
    media::parallelFor(
        jobs_.size(),
        [this, &budget](size_t i) {
            DecodeJob& job = jobs_[i];
            switch (job.kind) {
                case Kind::Sound:
                    loadSound(job, budget);
                    return;
                case Kind::Picture:
                case Kind::Stage:
                    try {
                        job.picture = media::decodePicture(
                            job.path, job.kind == Kind::Picture ? kBmpSize : kStageSize);
                    } catch (const std::bad_alloc&) {
                        job.picture = nullptr;
                    }
                    return;
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
                    messages.append(soundMessage(d, jobs_[d.decodeSlot]));
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
