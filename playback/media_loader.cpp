#include "playback/media_loader.h"

#include <sys/stat.h>

#include <QHash>
#include <algorithm>
#include <cstdint>
#include <mutex>
#include <new>
#include <numeric>
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

void decodeJob(DecodeJob& job, const MediaOptions& options, media::DecodeBudget& soundBudget,
               media::DecodeBudget& pictureBudget) {
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
        if (options.videos && job.kind == Kind::Picture && !job.picture && !job.overBudget) {
            job.videoInfo = media::probeVideo(job.path);
        }
    }
}

// Sounds and pictures share one index space each; the stage picture is the one Stage entry.
// Negative indices name nothing and get no key.
long long useKey(Kind kind, int index) {
    if (kind == Kind::Stage) {
        return -1;
    }
    return index < 0 ? -2 : static_cast<long long>(index) * 2 + (kind != Kind::Sound);
}

// The jobs in the order to decode them: by the first use of the earliest index they serve, the
// stage picture first, then the files no event uses, each group in line order.
std::vector<size_t> orderJobs(const std::vector<MediaRequest>& requests,
                              const std::vector<size_t>& slotOf, size_t jobCount,
                              const std::vector<FirstUse>& order) {
    std::vector<size_t> jobs(jobCount);
    std::iota(jobs.begin(), jobs.end(), size_t{0});
    if (order.empty()) {
        return jobs;
    }
    QHash<long long, size_t> rankOf;
    for (size_t i = 0; i < order.size(); ++i) {
        rankOf.insert(useKey(order[i].kind, order[i].index), i + 1);
    }
    std::vector<size_t> rank(jobCount, SIZE_MAX);
    for (size_t i = 0; i < requests.size(); ++i) {
        if (slotOf[i] == SIZE_MAX) {
            continue;
        }
        const MediaRequest& r = requests[i];
        const size_t own =
            r.kind == Kind::Stage ? 0 : rankOf.value(useKey(r.kind, r.index), SIZE_MAX);
        rank[slotOf[i]] = std::min(rank[slotOf[i]], own);
    }
    std::stable_sort(jobs.begin(), jobs.end(),
                     [&](size_t a, size_t b) { return rank[a] < rank[b]; });
    return jobs;
}

// Hands each index to the progress once every job of its lines has been decoded, with what the
// last of its lines that loaded gives, as the tables are filled at the end.
class Handover {
  public:
    Handover(const std::vector<MediaRequest>& requests, const std::vector<size_t>& slotOf,
             const std::vector<DecodeJob>& jobs, MediaProgress& progress)
        : requests_(requests),
          slotOf_(slotOf),
          jobs_(jobs),
          progress_(progress),
          keysOf_(jobs.size()) {
        for (size_t i = 0; i < requests.size(); ++i) {
            if (slotOf[i] == SIZE_MAX) {
                continue;
            }
            const long long key = useKey(requests[i].kind, requests[i].index);
            if (key == -2) {
                continue;
            }
            Waiting& w = waiting_[key];
            w.lines.push_back(i);
            std::vector<long long>& keys = keysOf_[slotOf[i]];
            if (std::find(keys.begin(), keys.end(), key) == keys.end()) {
                keys.push_back(key);
                ++w.jobsLeft;
            }
        }
    }

    // From a decoding thread, once job j is decided.
    void decoded(size_t j) {
        const std::lock_guard lock(mutex_);
        for (const long long key : keysOf_[j]) {
            Waiting& w = waiting_[key];
            if (--w.jobsLeft == 0) {
                progress_.mediaReady(resolve(w.lines));
            }
        }
    }

  private:
    struct Waiting {
        std::vector<size_t> lines;  // in line order
        int jobsLeft = 0;
    };

    MediaItem resolve(const std::vector<size_t>& lines) const {
        const MediaRequest& first = requests_[lines.front()];
        MediaItem item;
        item.kind = first.kind == Kind::Sound     ? MediaItem::Kind::Sound
                    : first.kind == Kind::Picture ? MediaItem::Kind::Picture
                                                  : MediaItem::Kind::Stage;
        item.index = first.index;
        for (auto line = lines.rbegin(); line != lines.rend(); ++line) {
            const DecodeJob& job = jobs_[slotOf_[*line]];
            if (first.kind == Kind::Sound && job.sound) {
                item.sound = job.sound;
                return item;
            }
            if (first.kind == Kind::Picture && job.videoInfo) {
                item.video = std::make_shared<const VideoClip>(VideoClip{job.path, *job.videoInfo});
                return item;
            }
            if (first.kind != Kind::Sound && !job.video && job.picture) {
                item.picture = job.picture;
                return item;
            }
        }
        return item;
    }

    const std::vector<MediaRequest>& requests_;
    const std::vector<size_t>& slotOf_;
    const std::vector<DecodeJob>& jobs_;
    MediaProgress& progress_;
    std::vector<std::vector<long long>> keysOf_;  // by job: the indices it serves
    std::mutex mutex_;
    QHash<long long, Waiting> waiting_;
};

}  // namespace

ChartMedia pendingMedia(const std::vector<MediaRequest>& requests) {
    ChartMedia media;
    const auto mark = [](std::vector<bool>& flags, int index) {
        if (static_cast<size_t>(index) >= flags.size()) {
            flags.resize(static_cast<size_t>(index) + 1);
        }
        flags[static_cast<size_t>(index)] = true;
    };
    for (const MediaRequest& r : requests) {
        if (!r.file.found() || r.notBitmap || r.index < 0) {
            continue;
        }
        switch (r.kind) {
            case Kind::Sound:
                mark(media.pendingSounds, r.index);
                break;
            case Kind::Picture:
                mark(media.pendingPictures, r.index);
                break;
            case Kind::Stage:
                media.stagePending = true;
                break;
        }
    }
    media.sounds.resize(media.pendingSounds.size());
    media.pictures.resize(media.pendingPictures.size());
    media.videos.resize(media.pendingPictures.size());
    return media;
}

ChartMedia loadMedia(const std::vector<MediaRequest>& requests, const MediaOptions& options,
                     std::vector<LoadMessage>& messages, MediaProgress* progress,
                     const std::vector<FirstUse>& order) {
    std::vector<DecodeJob> jobs;
    std::vector<size_t> slotOf(requests.size(), SIZE_MAX);
    QHash<QByteArray, size_t> slots;
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
            jobs.push_back(std::move(job));
            found = slots.insert(key, jobs.size() - 1);
        }
        slotOf[i] = found.value();
    }

    const std::vector<size_t> decodeOrder = orderJobs(requests, slotOf, jobs.size(), order);
    size_t soundTickets = 0;
    size_t pictureTickets = 0;
    for (const size_t j : decodeOrder) {
        DecodeJob& job = jobs[j];
        // A video holds no picture memory of the load: it takes no picture ticket.
        job.ticket = job.kind == Kind::Sound ? soundTickets++ : job.video ? 0 : pictureTickets++;
    }
    std::optional<Handover> handover;
    if (progress != nullptr) {
        handover.emplace(requests, slotOf, jobs, *progress);
    }

    media::DecodeBudget soundBudget(options.soundBudgetBytes);
    media::DecodeBudget pictureBudget(options.pictureBudgetBytes);
    media::parallelFor(
        jobs.size(),
        [&](size_t k) {
            const size_t i = decodeOrder[k];
            decodeJob(jobs[i], options, soundBudget, pictureBudget);
            if (handover) {
                handover->decoded(i);
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
