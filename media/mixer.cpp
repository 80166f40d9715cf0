#include "media/mixer.h"

#include <algorithm>

namespace carvel::media {

namespace {

constexpr std::size_t kPendingCapacity = 8192;

// Adds `frames` frames of sound, from frame `from` on, to the interleaved stereo out. A mono sample
// goes to both sides. Each sample is turned into the float the decoder's float reading gives, so
// the sum does not depend on how a sound is held.
void addFrames(const Sound& sound, std::int64_t from, std::int64_t frames, float* out) {
    if (!sound.pcm16.empty()) {
        const std::int16_t* src = sound.pcm16.data() + from * sound.channels;
        if (sound.channels == 2) {
            for (std::int64_t i = 0; i < 2 * frames; ++i) {
                out[i] += static_cast<float>(src[i]) * kPcm16Scale;
            }
        } else {
            for (std::int64_t i = 0; i < frames; ++i) {
                const float v = static_cast<float>(src[i]) * kPcm16Scale;
                out[2 * i] += v;
                out[2 * i + 1] += v;
            }
        }
        return;
    }
    const float* src = sound.pcm.data() + from * sound.channels;
    if (sound.channels == 2) {
        for (std::int64_t i = 0; i < 2 * frames; ++i) {
            out[i] += src[i];
        }
    } else {
        for (std::int64_t i = 0; i < frames; ++i) {
            out[2 * i] += src[i];
            out[2 * i + 1] += src[i];
        }
    }
}

// The same scaled by gain, for a lane whose gain is not 1 (at 1 the sums stay those of addFrames).
void addScaledFrames(const Sound& sound, std::int64_t from, std::int64_t frames, float gain,
                     float* out) {
    const int channels = sound.channels;
    for (std::int64_t i = 0; i < frames; ++i) {
        for (int side = 0; side < 2; ++side) {
            const std::int64_t at = (from + i) * channels + (channels == 2 ? side : 0);
            const float v =
                sound.pcm16.empty()
                    ? sound.pcm[static_cast<std::size_t>(at)]
                    : static_cast<float>(sound.pcm16[static_cast<std::size_t>(at)]) * kPcm16Scale;
            out[2 * i + side] += v * gain;
        }
    }
}

}  // namespace

Mixer::Mixer() : voices_(kVoices) {
    active_.reserve(kVoices);
    pending_.reserve(kPendingCapacity);
}

bool Mixer::post(Command&& command) {
    return commands_.push(std::move(command));
}

void Mixer::collect() {
    while (retired_.pop()) {
    }
}

void Mixer::retire(SoundPtr sound) {
    // When the return queue is full (the control side has not collected for a long time) the
    // reference is dropped here; the chart still holds the sound in normal use, so this frees
    // nothing.
    if (sound) {
        retired_.push(std::move(sound));
    }
}

void Mixer::apply(Command& command) {
    if (command.type == Command::Type::StopAll) {
        for (int v : active_) {
            retire(std::move(voices_[static_cast<size_t>(v)].sound));
        }
        active_.clear();
        return;
    }
    if (command.voice < 0 || command.voice >= kVoices) {
        retire(std::move(command.sound));
        return;
    }
    Voice& voice = voices_[static_cast<size_t>(command.voice)];
    if (!voice.sound) {
        active_.push_back(command.voice);
    }
    retire(std::move(voice.sound));
    voice.sound = std::move(command.sound);
    const std::int64_t frames = voice.sound ? voice.sound->frames() : 0;
    voice.position = std::clamp<std::int64_t>(command.offset, 0, frames);
    voice.lane = command.lane;
    startsApplied_.fetch_add(1, std::memory_order_release);
    if (!voice.sound) {
        active_.erase(std::find(active_.begin(), active_.end(), command.voice));
    }
}

void Mixer::dropPending(std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        retire(std::move(pending_[i].sound));
    }
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(count));
}

void Mixer::mix(float* out, int frames) {
    const std::int64_t begin = framesMixed_.load(std::memory_order_relaxed);
    const std::int64_t end = begin + frames;
    while (auto command = commands_.pop()) {
        if (command->type == Command::Type::StopAll && command->frame <= begin) {
            apply(*command);
            dropPending(pending_.size());
        } else if (pending_.size() < kPendingCapacity) {
            pending_.push_back(std::move(*command));
        } else {
            apply(*command);
        }
    }
    std::int64_t cursor = begin;
    while (cursor < end) {
        // Apply every start due at the cursor, in the order of their frames and then of arrival.
        std::int64_t next = end;
        for (;;) {
            auto due = pending_.end();
            for (auto it = pending_.begin(); it != pending_.end(); ++it) {
                if (it->frame <= cursor && (due == pending_.end() || it->frame < due->frame)) {
                    due = it;
                }
            }
            if (due == pending_.end()) {
                break;
            }
            apply(*due);
            const auto at = static_cast<std::size_t>(due - pending_.begin());
            const bool stop = due->type == Command::Type::StopAll;
            pending_.erase(due);
            if (stop) {
                dropPending(at);
            }
        }
        for (const Command& p : pending_) {
            next = std::min(next, p.frame);
        }
        // Mix the span [cursor, next) where no voice changes.
        const auto span = static_cast<int>(next - cursor);
        float* dst = out + (cursor - begin) * 2;
        for (size_t a = 0; a < active_.size();) {
            Voice& voice = voices_[static_cast<size_t>(active_[a])];
            const std::int64_t left = voice.sound->frames() - voice.position;
            const std::int64_t n = std::min<std::int64_t>(left, span);
            const float gain =
                gains_[static_cast<std::size_t>(voice.lane)].load(std::memory_order_relaxed);
            if (gain == 1.0f) {
                addFrames(*voice.sound, voice.position, n, dst);
            } else if (gain > 0.0f) {
                addScaledFrames(*voice.sound, voice.position, n, gain, dst);
            }
            voice.position += n;
            if (voice.position >= voice.sound->frames()) {
                retire(std::move(voice.sound));
                active_[a] = active_.back();
                active_.pop_back();
            } else {
                ++a;
            }
        }
        cursor = next;
    }
    framesMixed_.store(end, std::memory_order_release);
}

}  // namespace carvel::media
