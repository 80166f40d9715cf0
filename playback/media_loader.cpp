#include "playback/media_loader.h"

#include <sys/stat.h>

#include <QHash>
#include <cstdint>
#include <new>
#include <optional>

#include "media/picture_decoder.h"
#include "media/sound_decoder.h"
#include "media/video_stream.h"
#include "media/worker_pool.h"

namespace carvel {

namespace {

using Kind = MediaRequest::Kind;

struct DecodeJob {
    Kind kind = Kind::Sound;
    QByteArray path;
    size_t ticket = 0;  // the place in line order among the sounds, or among the pictures
    LoadMessage::Kind failure = LoadMessage::Kind::SoundUnreadable;  // sounds
    bool overBudget = false;                                         // pictures
    bool cutOff = false;                                             // a sound, decoded in part
    bool video = false;  // a picture named as a video: probed, not decoded
    int fileRate = 0;
    media::SoundPtr sound;
    media::PicturePtr picture;
    std::optional<media::VideoInfo> videoInfo;
};

void loadSound(DecodeJob& job, const MediaOptions& options, media::DecodeBudget& budget) {
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
        case media::SoundFile::Status::CutOff:
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
    const std::size_t admitted = file->decodedBytes();
    if (!budget.admit(job.ticket, admitted)) {
        job.failure = LoadMessage::Kind::SoundOverBudget;
        return;
    }
    job.sound = file->decode();
    job.cutOff = file->status() == media::SoundFile::Status::CutOff;
    budget.settle(admitted, job.sound ? media::heldBytes(*job.sound) : 0);
}

void loadPicture(DecodeJob& job, media::DecodeBudget& budget) {
    std::optional<media::PictureFile> file;
    try {
        file.emplace(job.path, job.kind == Kind::Picture ? kPictureSize : kStageSize);
    } catch (const std::bad_alloc&) {
        budget.pass(job.ticket);
        return;
    }
    if (!file->readable()) {
        budget.pass(job.ticket);
        return;
    }
    const std::size_t admitted = file->decodingBytes();
    if (!budget.admit(job.ticket, admitted)) {
        job.overBudget = true;
        return;
    }
    try {
        job.picture = file->decode();
    } catch (const std::bad_alloc&) {
        job.picture = nullptr;
    }
    budget.settle(admitted, job.picture ? static_cast<std::size_t>(job.picture->sizeInBytes()) : 0);
}

// Names the file itself, so that every spelling of one path, and every link to it, gives one
// key for each use; a file that cannot be examined is named by its path.
QByteArray fileKey(Kind kind, bool video, const QByteArray& nativePath) {
    QByteArray key = QByteArray::number(static_cast<int>(kind)) + (video ? "v|" : "|");
    struct stat st {};
    if (::stat(nativePath.constData(), &st) != 0) {
        return key + "path|" + nativePath;
    }
    return key + QByteArray::number(static_cast<quint64>(st.st_dev)) + '|' +
           QByteArray::number(static_cast<quint64>(st.st_ino));
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

template <typename T>
void forget(std::vector<T>& table, int index) {
    if (index >= 0 && static_cast<size_t>(index) < table.size()) {
        table[static_cast<size_t>(index)] = nullptr;
    }
}

}  // namespace

ChartMedia loadMedia(const std::vector<MediaRequest>& requests, const MediaOptions& options,
                     std::vector<LoadMessage>& messages) {
    std::vector<DecodeJob> jobs;
    std::vector<size_t> slotOf(requests.size(), SIZE_MAX);
    QHash<QByteArray, size_t> slots;
    size_t soundTickets = 0;
    size_t pictureTickets = 0;
    for (size_t i = 0; i < requests.size(); ++i) {
        const MediaRequest& r = requests[i];
        if (!r.file.found() || r.notBitmap) {
            continue;
        }
        const bool video = options.videos && r.video;
        const QByteArray key = fileKey(r.kind, video, r.file.native);
        auto found = slots.constFind(key);
        if (found == slots.constEnd()) {
            DecodeJob job;
            job.kind = r.kind;
            job.path = r.file.native;
            job.video = video;
            // A video holds no picture memory of the load: it takes no picture ticket.
            job.ticket = r.kind == Kind::Sound ? soundTickets++ : video ? 0 : pictureTickets++;
            jobs.push_back(std::move(job));
            found = slots.insert(key, jobs.size() - 1);
        }
        slotOf[i] = found.value();
    }

    media::DecodeBudget soundBudget(options.soundBudgetBytes);
    media::DecodeBudget pictureBudget(options.pictureBudgetBytes);
    media::parallelFor(
        jobs.size(),
        [&](size_t i) {
            DecodeJob& job = jobs[i];
            if (job.video) {
                if (!options.stop.stop_requested()) {
                    job.videoInfo = media::probeVideo(job.path);
                }
                return;
            }
            if (options.stop.stop_requested()) {
                (job.kind == Kind::Sound ? soundBudget : pictureBudget).pass(job.ticket);
                return;
            }
            if (job.kind == Kind::Sound) {
                loadSound(job, options, soundBudget);
            } else {
                loadPicture(job, pictureBudget);
                // A picture file that no picture reader takes may be a video under another name.
                if (options.videos && job.kind == Kind::Picture && !job.picture &&
                    !job.overBudget) {
                    job.videoInfo = media::probeVideo(job.path);
                }
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
                    if (job->cutOff) {
                        messages.push_back({LoadMessage::Kind::SoundCutOff, r.name, r.indexText});
                    }
                    store(media.sounds, r.index, job->sound);
                }
                break;
            case Kind::Picture:
                if (job != nullptr && job->videoInfo) {
                    store(media.videos, r.index,
                          std::make_shared<const VideoClip>(VideoClip{job->path, *job->videoInfo}));
                    forget(media.pictures, r.index);
                } else if (job != nullptr && job->video) {
                    messages.push_back({LoadMessage::Kind::VideoUnplayable, r.name, r.indexText});
                } else if (!r.file.found()) {
                    messages.push_back({options.videos && r.video
                                            ? LoadMessage::Kind::VideoNotFound
                                            : LoadMessage::Kind::PictureNotFound,
                                        r.name, r.indexText});
                } else if (r.notBitmap) {
                    messages.push_back({LoadMessage::Kind::PictureNotBitmap, r.name, r.indexText});
                } else if (job->overBudget) {
                    messages.push_back({LoadMessage::Kind::PictureOverBudget, r.name, r.indexText});
                } else if (!job->picture) {
                    messages.push_back({LoadMessage::Kind::PictureUnreadable, r.name, r.indexText});
                } else {
                    store(media.pictures, r.index, job->picture);
                    forget(media.videos, r.index);
                }
                break;
            case Kind::Stage:
                if (!r.file.found()) {
                    messages.push_back({LoadMessage::Kind::StageNotFound, r.name, {}});
                } else if (job->overBudget) {
                    messages.push_back({LoadMessage::Kind::StageOverBudget, r.name, {}});
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
