#include "testing/fakes.h"

#include "testing/test_files.h"

namespace carvel::testing {

void RecordingOutput::play(int voice, media::SoundPtr sound, double dueMs,
                           std::int64_t offsetFrames, media::Lane lane) {
    starts.push_back({voice, dueMs, clock_.now, offsetFrames, lane});
    ends[voice] = std::max(dueMs, clock_.now) +
                  static_cast<double>(std::max<std::int64_t>(sound->frames() - offsetFrames, 0));
}

void RecordingOutput::stopAll() {
    ++stops;
    ends.clear();
}

void RecordingOutput::stopAllAt(double atMs) {
    stopTimes.push_back(atMs);
    for (auto& [voice, end] : ends) {
        end = std::min(end, std::max(atMs, clock_.now));
    }
}

bool RecordingOutput::isPlaying(int voice) {
    auto it = ends.find(voice);
    return it != ends.end() && clock_.now < it->second;
}

double RecordingOutput::silentAtMs(int voice) {
    return ends.count(voice) ? ends[voice] : 0;
}

QString RecordingOutput::startsFrom(double fromMs) const {
    QStringList list;
    for (const Start& start : starts) {
        list.append(QString::number(start.voice) + u'@' + QString::number(start.dueMs - fromMs) +
                    u'+' + QString::number(start.offsetFrames));
    }
    return list.join(u' ');
}

std::vector<int> RecordingOutput::voices() const {
    std::vector<int> v;
    for (const Start& s : starts) {
        v.push_back(s.voice);
    }
    return v;
}

std::optional<QString> TestQueue::stepForward() {
    if (paths.empty()) {
        return std::nullopt;
    }
    current = current + 1 >= static_cast<qsizetype>(paths.size()) ? 0 : current + 1;
    return paths[static_cast<size_t>(current)];
}

std::optional<QString> TestQueue::peekForward() const {
    if (paths.empty()) {
        return std::nullopt;
    }
    return paths[current + 1 >= static_cast<qsizetype>(paths.size())
                     ? 0
                     : static_cast<size_t>(current + 1)];
}

std::optional<QString> TestQueue::stepBack() {
    if (paths.empty()) {
        return std::nullopt;
    }
    current = current <= 0 ? static_cast<qsizetype>(paths.size()) - 1 : current - 1;
    return paths[static_cast<size_t>(current)];
}

std::vector<Event> eventsFromTexts(const std::vector<std::string>& texts,
                                   std::vector<double>& ratios) {
    std::vector<Event> out;
    for (const std::string& text : texts) {
        Event e;
        const size_t a = text.find(',');
        const size_t b = text.find(',', a + 1);
        e.position = std::stoll(text.substr(0, a));
        e.channel = static_cast<std::uint8_t>(std::stoi(text.substr(a + 1, b - a - 1)));
        if (e.channel == kBarEndChannel) {
            e.value = static_cast<std::int32_t>(ratios.size());
            ratios.push_back(std::stod(text.substr(b + 1)));
        } else {
            e.value = std::stoi(text.substr(b + 1));
        }
        out.push_back(e);
    }
    return out;
}

std::vector<std::string> textsOf(const std::vector<Event>& events,
                                 const std::vector<double>& ratios) {
    std::vector<std::string> out;
    for (const Event& e : events) {
        out.push_back(eventText(e, ratios));
    }
    return out;
}

media::SoundPtr makeSound(int frames) {
    auto sound = std::make_shared<media::Sound>();
    sound->sampleRate = 1000;
    sound->pcm.assign(static_cast<size_t>(frames) * 2, 0.5f);
    return sound;
}

media::PicturePtr makePicture(QSize size, QRgb color, QRgb corner) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(color);
    image.setPixel(0, 0, corner);
    return std::make_shared<const QImage>(std::move(image));
}

QString PlayerRig::chartFile(const QString& name, const QByteArray& text) {
    const QString path = dir.path() + u'/' + name;
    writeBytes(path, text);
    return path;
}

QString fieldsText(const Chart& chart) {
    QStringList lines;
    for (const auto& [label, value] : headerFields(chart)) {
        lines.append(label + QStringLiteral(" : ") + value);
    }
    return lines.join(QStringLiteral("\r\n"));
}

}  // namespace carvel::testing
