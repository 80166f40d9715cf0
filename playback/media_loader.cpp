#include "playback/media_loader.h"

#include <QHash>
#include <cstdint>
#include <new>
#include <optional>

#include "media/picture_decoder.h"
#include "media/sound_decoder.h"
#include "media/worker_pool.h"

namespace carvel {

namespace {

using Kind = MediaRequest::Kind;

struct DecodeJob {
    Kind kind = Kind::Sound;
    QByteArray path;
    size_t ticket = 0;  // sounds only: their place in line order, for the budget
    LoadMessage::Kind failure = LoadMessage::Kind::SoundUnreadable;
    int fileRate = 0;
    media::SoundPtr sound;
    media::PicturePtr picture;
};

void loadSound(DecodeJob& job, const MediaOptions& options, media::SoundBudget& budget) {
    // Every ticket is decided exactly once, whatever happens, or the later sounds would wait.
    std::optional<media::SoundFile> file;
    try {
        file.emplace(job.path, options.sampleRate, options.precision);
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
            job.failure = LoadMessage::Kind::SoundRateUnsupported;
            budget.pass(job.ticket);
            return;
        case media::SoundFile::Status::TooLong:
            job.failure = LoadMessage::Kind::SoundTooLong;
            budget.pass(job.ticket);
            return;
    }
    if (!budget.admit(job.ticket, file->decodedBytes())) {
        job.failure = LoadMessage::Kind::SoundOverBudget;
        return;
    }
    job.sound = file->decode();
}

void loadPicture(DecodeJob& job) {
    try {
        job.picture =
            media::decodePicture(job.path, job.kind == Kind::Picture ? kPictureSize : kStageSize);
    } catch (const std::bad_alloc&) {
        job.picture = nullptr;
    }
}

template <typename T>
void store(std::vector<T>& table, int index, T item) {
    if (index < 0) {
        return;
    }
    if (static_cast<size_t>(index) >= table.size()) {
        table.resize(static_cast<size_t>(index) + 1);
    }
    table[static_cast<size_t>(index)] = std::move(item);
}

}  // namespace

ChartMedia loadMedia(const std::vector<MediaRequest>& requests, const MediaOptions& options,
                     std::vector<LoadMessage>& messages) {
    std::vector<DecodeJob> jobs;
    std::vector<size_t> slotOf(requests.size(), SIZE_MAX);
    QHash<QByteArray, size_t> slots;
    size_t tickets = 0;
    for (size_t i = 0; i < requests.size(); ++i) {
        const MediaRequest& r = requests[i];
        if (!r.file.found() || r.notBitmap) {
            continue;
        }
        const QByteArray key = QByteArray::number(static_cast<int>(r.kind)) + '|' + r.file.native;
        auto found = slots.constFind(key);
        if (found == slots.constEnd()) {
            DecodeJob job;
            job.kind = r.kind;
            job.path = r.file.native;
            if (r.kind == Kind::Sound) {
                job.ticket = tickets++;
            }
            jobs.push_back(std::move(job));
            found = slots.insert(key, jobs.size() - 1);
        }
        slotOf[i] = found.value();
    }

    media::SoundBudget budget(options.soundBudgetBytes);
    media::parallelFor(
        jobs.size(),
        [&](size_t i) {
            DecodeJob& job = jobs[i];
            if (options.stop.stop_requested()) {
                if (job.kind == Kind::Sound) {
                    budget.pass(job.ticket);
                }
                return;
            }
            if (job.kind == Kind::Sound) {
                loadSound(job, options, budget);
            } else {
                loadPicture(job);
            }
        },
        options.threads);

    ChartMedia media;
    for (size_t i = 0; i < requests.size(); ++i) {
        const MediaRequest& r = requests[i];
        const DecodeJob* job = slotOf[i] == SIZE_MAX ? nullptr : &jobs[slotOf[i]];
        switch (r.kind) {
            case Kind::Sound:
                if (!r.file.found()) {
                    messages.push_back({LoadMessage::Kind::SoundNotFound, r.name, r.indexText});
                } else if (!job->sound) {
                    messages.push_back({job->failure, r.name, r.indexText, job->fileRate});
                } else {
                    store(media.sounds, r.index, job->sound);
                }
                break;
            case Kind::Picture:
                if (!r.file.found()) {
                    messages.push_back({LoadMessage::Kind::PictureNotFound, r.name, r.indexText});
                } else if (r.notBitmap) {
                    messages.push_back({LoadMessage::Kind::PictureNotBitmap, r.name, r.indexText});
                } else if (!job->picture) {
                    messages.push_back({LoadMessage::Kind::PictureUnreadable, r.name, r.indexText});
                } else {
                    store(media.pictures, r.index, job->picture);
                }
                break;
            case Kind::Stage:
                if (!r.file.found()) {
                    messages.push_back({LoadMessage::Kind::StageNotFound, r.name, {}});
                } else if (!job->picture) {
                    messages.push_back({LoadMessage::Kind::StageUnreadable, r.name, {}});
                } else {
                    media.stage = job->picture;
                }
                break;
        }
    }
    return media;
}

}  // namespace carvel
