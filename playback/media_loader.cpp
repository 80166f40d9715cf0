#include "playback/media_loader.h"

#include <QHash>
#include <cstdint>

#include "media/picture_decoder.h"
#include "media/sound_decoder.h"
#include "media/worker_pool.h"

namespace carvel {

namespace {

using Kind = MediaRequest::Kind;

struct DecodeJob {
    Kind kind = Kind::Sound;
    QByteArray path;
    media::SoundPtr sound;
    media::PicturePtr picture;
};

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
    for (size_t i = 0; i < requests.size(); ++i) {
        const MediaRequest& r = requests[i];
        if (!r.file.found() || r.notBitmap) {
            continue;
        }
        const QByteArray key = QByteArray::number(static_cast<int>(r.kind)) + '|' + r.file.native;
        auto found = slots.constFind(key);
        if (found == slots.constEnd()) {
            jobs.push_back({r.kind, r.file.native, nullptr, nullptr});
            found = slots.insert(key, jobs.size() - 1);
        }
        slotOf[i] = found.value();
    }

    media::parallelFor(
        jobs.size(),
        [&](size_t i) {
            DecodeJob& job = jobs[i];
            switch (job.kind) {
                case Kind::Sound:
                    job.sound = media::decodeSound(job.path, options.sampleRate);
                    break;
                case Kind::Picture:
                    job.picture = media::decodePicture(job.path, kPictureSize);
                    break;
                case Kind::Stage:
                    job.picture = media::decodePicture(job.path, kStageSize);
                    break;
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
                    messages.push_back({LoadMessage::Kind::SoundUnreadable, r.name, r.indexText});
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
