#include "media/sound_output.h"

#include <algorithm>

#include "media/mixer.h"

namespace carvel::media {

void VoiceSchedule::started(int voice, std::int64_t startFrame, std::int64_t frames) {
    if (voice < 0 || voice >= Mixer::kVoices) {
        return;
    }
    if (static_cast<size_t>(voice) >= end_.size()) {
        end_.resize(static_cast<size_t>(voice) + 1, 0);
    }
    end_[static_cast<size_t>(voice)] = startFrame + std::max<std::int64_t>(frames, 0);
}

void VoiceSchedule::clear() {
    end_.clear();
}

void VoiceSchedule::stopAt(std::int64_t frame) {
    for (std::int64_t& end : end_) {
        end = std::min(end, frame);
    }
}

bool VoiceSchedule::playing(int voice, std::int64_t nowFrame) const {
    return nowFrame < endFrame(voice);
}

std::int64_t VoiceSchedule::endFrame(int voice) const {
    if (voice < 0 || static_cast<size_t>(voice) >= end_.size()) {
        return 0;
    }
    return end_[static_cast<size_t>(voice)];
}

}  // namespace carvel::media
