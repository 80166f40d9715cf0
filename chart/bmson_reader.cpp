#include "chart/bmson_reader.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <algorithm>
#include <cmath>
#include <set>
#include <unordered_map>

#include "chart/channels.h"
#include "platform/path_lookup.h"

namespace carvel {

namespace {

using channels::base36;

constexpr double kDefaultResolution = 240;

// The key channel of a beat-7k lane: 1-5 on 11-15, 6 on 18, 7 on 19, 8 (scratch) on 16; lanes
// 9-16 the same on 21-29. Other lanes sound as background sounds.
int laneChannel(qint64 lane, bool longNote) {
    static constexpr char kLow[] = {'1', '2', '3', '4', '5', '8', '9', '6'};
    if (lane < 1 || lane > 16) {
        return channels::kBgm;
    }
    const auto side = static_cast<char>((lane - 1) / 8);
    const char high = static_cast<char>((longNote ? '5' : '1') + side);
    return base36(high, kLow[(lane - 1) % 8]);
}

// A point where the timing changes: a tempo, then, at one pulse, the stops at that tempo.
struct Change {
    double y = 0;
    int rank = 0;  // 0: tempo, 1: stop
    double value = 0;
};

// An event held by its pulse until the sweep times it.
struct Pending {
    double y = 0;
    TimedEvent event;
};

// What only a view of the chart reads, held by its pulse like an event.
struct Marker {
    enum class Kind : std::uint8_t { LongStart, LongEnd, BarLine, Change };
    double y = 0;
    Kind kind = Kind::BarLine;
    // LongStart, LongEnd: the long note's index; Change: 1 when the tempo changes there.
    std::int32_t index = 0;
};

// The time of pulses given in ascending order: a pulse lasts 60000 / (tempo x resolution) ms; a
// stop of d pulses lasts d pulses at the tempo of its point; a pulse at a stop is reached when the
// stop begins. changes: sorted by pulse, then tempo before stop.
class PulseClock {
  public:
    PulseClock(const std::vector<Change>& changes, long double bpm, double resolution)
        : changes_(changes), bpm_(bpm), resolution_(resolution) {}

    long double timeAt(double y) {
        for (; next_ < changes_.size() && changes_[next_].y <= y; ++next_) {
            const Change& c = changes_[next_];
            if (c.y != at_) {
                time_ += stop_ + (c.y - at_) * 60000 / (bpm_ * resolution_);
                at_ = c.y;
                stop_ = 0;
            }
            if (c.rank == 0) {
                bpm_ = c.value;
            } else {
                stop_ += c.value * 60000 / (bpm_ * resolution_);
            }
        }
        return y == at_ ? time_ : time_ + stop_ + (y - at_) * 60000 / (bpm_ * resolution_);
    }
    // After timeAt(y) at a change's pulse: the tempo from there on and the stops there.
    long double bpm() const { return bpm_; }
    long double stopHere() const { return stop_; }

  private:
    const std::vector<Change>& changes_;
    long double bpm_;
    double resolution_;
    long double at_ = 0;    // the pulse the sweep has reached
    long double time_ = 0;  // its time, before the stops there
    long double stop_ = 0;  // the stops at `at_`
    size_t next_ = 0;
};

class BmsonReader {
  public:
    explicit BmsonReader(const QString& folder) : folder_(folder) {
        chart_.setMode(ReadingMode::Full);
        chart_.folder = folder;
    }

    Chart read(const QByteArray& bytes, ReadProgress* progress);

  private:
    void problem(const QString& field);
    QString text(const QJsonObject& object, const char16_t* key, const QString& field);
    double number(const QJsonObject& object, const char16_t* key, const QString& field,
                  double fallback);
    QJsonArray array(const QJsonObject& object, const char16_t* key, const QString& field);
    void readInfo(const QJsonObject& info);
    void readSounds(const QJsonArray& channels);
    void readPictures(const QJsonObject& bga);
    bool gather(const QByteArray& bytes);
    void place();
    void placeMarkers();

    QString folder_;
    Chart chart_;
    PathResolver resolver_{true};
    std::set<QString> reported_;
    double resolution_ = kDefaultResolution;
    std::vector<Change> changes_;
    std::vector<Pending> pending_;
    std::vector<Marker> markers_;
};

void BmsonReader::problem(const QString& field) {
    if (reported_.insert(field).second) {
        chart_.readProblems.push_back({LoadMessage::Kind::BmsonField, field, {}});
    }
}

QString BmsonReader::text(const QJsonObject& object, const char16_t* key, const QString& field) {
    const QJsonValue value = object.value(QStringView(key));
    if (value.isUndefined() || value.isNull()) {
        return {};
    }
    if (!value.isString()) {
        problem(field);
        return {};
    }
    return value.toString();
}

// A finite number; fallback (and a message) when the field holds something else, fallback alone
// when it is missing.
double BmsonReader::number(const QJsonObject& object, const char16_t* key, const QString& field,
                           double fallback) {
    const QJsonValue value = object.value(QStringView(key));
    if (value.isUndefined() || value.isNull()) {
        return fallback;
    }
    if (!value.isDouble() || !std::isfinite(value.toDouble())) {
        problem(field);
        return fallback;
    }
    return value.toDouble();
}

QJsonArray BmsonReader::array(const QJsonObject& object, const char16_t* key,
                              const QString& field) {
    const QJsonValue value = object.value(QStringView(key));
    if (!value.isUndefined() && !value.isNull() && !value.isArray()) {
        problem(field);
    }
    return value.toArray();
}

void BmsonReader::readInfo(const QJsonObject& info) {
    const auto keep = [&](const char16_t* key, QString& field) {
        const QString value = text(info, key, u"info."_qs + QString::fromUtf16(key));
        if (!value.isEmpty()) {
            field = value;
        }
    };
    keep(u"title", chart_.title);
    keep(u"subtitle", chart_.subtitle);
    keep(u"artist", chart_.artist);
    keep(u"genre", chart_.genre);
    keep(u"chart_name", chart_.difficulty);
    const QJsonValue level = info.value(u"level");
    if (level.isDouble() && std::isfinite(level.toDouble())) {
        chart_.playLevel = QString::number(level.toDouble(), 'g', 15);
    } else if (!level.isUndefined() && !level.isNull()) {
        problem(u"info.level"_qs);
    }
    const double bpm = number(info, u"init_bpm", u"info.init_bpm"_qs, 0);
    if (bpm > 0) {
        chart_.startBpm = bpm;
    } else {
        problem(u"info.init_bpm"_qs);
    }
    chart_.bpm = static_cast<int>(std::clamp(std::nearbyint(chart_.startBpm), 1.0, 32767.0));
    const double resolution = number(info, u"resolution", u"info.resolution"_qs, 0);
    if (resolution >= 1) {
        resolution_ = resolution;
    } else if (info.contains(u"resolution")) {
        problem(u"info.resolution"_qs);
    }
    const QString back = text(info, u"back_image", u"info.back_image"_qs);
    if (!back.isEmpty()) {
        MediaRequest stage;
        stage.kind = MediaRequest::Kind::Stage;
        stage.name = back;
        stage.file = resolver_.resolve(folder_, back);
        chart_.media.push_back(std::move(stage));
    }
}

void BmsonReader::readSounds(const QJsonArray& channels) {
    for (qsizetype i = 0; i < channels.size(); ++i) {
        if (i >= kMaxTimedValue) {
            problem(u"sound_channels[]"_qs);  // more than an event's index can name
            return;
        }
        const QJsonObject channel = channels.at(i).toObject();
        const auto index = static_cast<std::int32_t>(i + 1);
        const QString name = text(channel, u"name", u"sound_channels[].name"_qs);
        if (!name.isEmpty()) {
            MediaRequest request;
            request.kind = MediaRequest::Kind::Sound;
            request.index = index;
            request.indexText = QString::number(index);
            request.name = name;
            request.file = resolver_.resolve(folder_, name);
            chart_.media.push_back(std::move(request));
        }
        const QJsonArray notes = array(channel, u"notes", u"sound_channels[].notes"_qs);
        for (const QJsonValue& value : notes) {
            const QJsonObject note = value.toObject();
            const double y = number(note, u"y", u"sound_channels[].notes[].y"_qs, -1);
            if (y < 0) {
                problem(u"sound_channels[].notes[].y"_qs);
                continue;
            }
            const double lane = number(note, u"x", u"sound_channels[].notes[].x"_qs, 0);
            const double length = number(note, u"l", u"sound_channels[].notes[].l"_qs, 0);
            const QJsonValue continues = note.value(u"c");
            if (!continues.isUndefined() && !continues.isBool()) {
                problem(u"sound_channels[].notes[].c"_qs);
            }
            TimedEvent event;
            event.channel = static_cast<std::uint16_t>(
                laneChannel(static_cast<qint64>(std::clamp(lane, -1.0, 1e9)), length > 0));
            event.value = index;
            if (channels::isLongLane(event.channel)) {
                const auto held = static_cast<std::int32_t>(chart_.timeline().longNotes.size());
                chart_.timeline().longNotes.push_back(
                    {0, 0, static_cast<std::uint16_t>(event.channel)});
                markers_.push_back({y, Marker::Kind::LongStart, held});
                markers_.push_back({y + length, Marker::Kind::LongEnd, held});
            }
            event.continues = continues.toBool();
            pending_.push_back({y, event});
        }
    }
}

void BmsonReader::readPictures(const QJsonObject& bga) {
    // Pictures take their place in bga_header as index; the events name them by id.
    std::unordered_map<double, std::int32_t> byId;
    const QJsonArray header = array(bga, u"bga_header", u"bga.bga_header"_qs);
    for (qsizetype i = 0; i < header.size() && i < kMaxTimedValue; ++i) {
        const QJsonObject entry = header.at(i).toObject();
        const double id = number(entry, u"id", u"bga.bga_header[].id"_qs, -1);
        const QString name = text(entry, u"name", u"bga.bga_header[].name"_qs);
        if (id < 0 || name.isEmpty()) {
            continue;
        }
        const auto index = static_cast<std::int32_t>(i + 1);
        byId[id] = index;
        MediaRequest request;
        request.kind = MediaRequest::Kind::Picture;
        request.index = index;
        request.indexText = QString::number(id, 'g', 15);
        request.name = name;
        request.file = resolver_.resolve(folder_, name);
        request.video = PathResolver::namesVideo(name);
        chart_.media.push_back(std::move(request));
    }
    const std::pair<const char16_t*, int> layers[] = {{u"bga_events", channels::kBasePicture},
                                                      {u"layer_events", channels::kLayerPicture},
                                                      {u"poor_events", channels::kMissPicture}};
    for (const auto& [key, channel] : layers) {
        const QString field = u"bga."_qs + QString::fromUtf16(key);
        for (const QJsonValue& value : array(bga, key, field)) {
            const QJsonObject event = value.toObject();
            const double y = number(event, u"y", field + u"[].y"_qs, -1);
            const auto found = byId.find(number(event, u"id", field + u"[].id"_qs, -1));
            if (y < 0 || found == byId.end()) {
                problem(field + u"[]"_qs);
                continue;
            }
            pending_.push_back({y, {0, static_cast<std::uint16_t>(channel), found->second}});
        }
    }
}

// Times every pending event (PulseClock); an event at a stop sounds when the stop begins.
void BmsonReader::place() {
    std::stable_sort(changes_.begin(), changes_.end(), [](const Change& a, const Change& b) {
        return a.y != b.y ? a.y < b.y : a.rank < b.rank;
    });
    std::stable_sort(pending_.begin(), pending_.end(),
                     [](const Pending& a, const Pending& b) { return a.y < b.y; });
    PulseClock clock(changes_, chart_.startBpm, resolution_);
    chart_.timeline().events.reserve(pending_.size());
    for (const Pending& p : pending_) {
        TimedEvent event = p.event;
        event.timeMs = static_cast<double>(clock.timeAt(p.y));
        if (std::isfinite(event.timeMs)) {
            chart_.timeline().events.push_back(event);
        }
    }
    std::sort(chart_.timeline().events.begin(), chart_.timeline().events.end(),
              [](const TimedEvent& a, const TimedEvent& b) {
                  if (a.timeMs != b.timeMs) {
                      return a.timeMs < b.timeMs;
                  }
                  return a.channel != b.channel ? a.channel < b.channel : a.value < b.value;
              });
    placeMarkers();
}

// Times the long notes' ends, the bar lines and the changes for a view of the chart, on a clock of
// their own so that the events' sweep stays as it is. Long notes and bar lines whose times are no
// finite numbers are left out.
void BmsonReader::placeMarkers() {
    for (size_t i = 0; i < changes_.size(); ++i) {
        if (i == 0 || changes_[i].y != changes_[i - 1].y) {
            markers_.push_back({changes_[i].y, Marker::Kind::Change, 0});
        }
        markers_.back().index |= changes_[i].rank == 0 ? 1 : 0;
    }
    std::stable_sort(markers_.begin(), markers_.end(),
                     [](const Marker& a, const Marker& b) { return a.y < b.y; });
    Timeline& timeline = chart_.timeline();
    PulseClock clock(changes_, chart_.startBpm, resolution_);
    for (const Marker& m : markers_) {
        const auto time = static_cast<double>(clock.timeAt(m.y));
        switch (m.kind) {
            case Marker::Kind::LongStart:
                timeline.longNotes[static_cast<size_t>(m.index)].startMs = time;
                break;
            case Marker::Kind::LongEnd:
                timeline.longNotes[static_cast<size_t>(m.index)].endMs = time;
                break;
            case Marker::Kind::BarLine:
                if (std::isfinite(time)) {
                    timeline.barLinesMs.push_back(time);
                }
                break;
            case Marker::Kind::Change: {
                const TimingMark mark{time, m.index != 0 ? static_cast<double>(clock.bpm()) : 0,
                                      static_cast<double>(clock.stopHere())};
                if (std::isfinite(mark.timeMs) && std::isfinite(mark.bpm) &&
                    std::isfinite(mark.stopMs)) {
                    timeline.timingMarks.push_back(mark);
                }
                break;
            }
        }
    }
    std::vector<LongNote>& notes = timeline.longNotes;
    std::erase_if(notes, [](const LongNote& n) {
        return !std::isfinite(n.startMs) || !std::isfinite(n.endMs);
    });
    std::stable_sort(notes.begin(), notes.end(),
                     [](const LongNote& a, const LongNote& b) { return a.startMs < b.startMs; });
    markers_ = {};
}

Chart BmsonReader::read(const QByteArray& bytes, ReadProgress* progress) {
    if (!gather(bytes)) {
        return std::move(chart_);
    }
    place();
    if (progress != nullptr) {
        progress->eventCountChanged(static_cast<qsizetype>(chart_.timeline().events.size()));
    }
    return std::move(chart_);
}

// Reads the document into the header, the media and the pending events; the document, by far the
// largest thing a load holds, is gone before the events are timed.
bool BmsonReader::gather(const QByteArray& bytes) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        chart_.readProblems.push_back(
            {LoadMessage::Kind::BmsonInvalid,
             error.error != QJsonParseError::NoError ? error.errorString() : u"not an object"_qs,
             {},
             error.offset});
        return false;
    }
    const QJsonObject root = document.object();
    if (!root.value(u"info").isObject()) {
        problem(u"info"_qs);
    }
    readInfo(root.value(u"info").toObject());
    for (const QJsonValue& value : array(root, u"bpm_events", u"bpm_events"_qs)) {
        const QJsonObject event = value.toObject();
        const double y = number(event, u"y", u"bpm_events[].y"_qs, -1);
        const double bpm = number(event, u"bpm", u"bpm_events[].bpm"_qs, 0);
        if (y >= 0 && bpm > 0) {
            changes_.push_back({y, 0, bpm});
        } else {
            problem(u"bpm_events[]"_qs);
        }
    }
    for (const QJsonValue& value : array(root, u"stop_events", u"stop_events"_qs)) {
        const QJsonObject event = value.toObject();
        const double y = number(event, u"y", u"stop_events[].y"_qs, -1);
        const double duration = number(event, u"duration", u"stop_events[].duration"_qs, 0);
        if (y >= 0 && duration > 0) {
            changes_.push_back({y, 1, duration});
        } else if (y < 0 || duration < 0) {
            problem(u"stop_events[]"_qs);
        }
    }
    // The bar lines only serve a view of the chart: what is wrong with them is passed over
    // without a message.
    for (const QJsonValue& value : root.value(u"lines").toArray()) {
        const QJsonValue y = value.toObject().value(u"y");
        if (y.isDouble() && y.toDouble() >= 0 && std::isfinite(y.toDouble())) {
            markers_.push_back({y.toDouble(), Marker::Kind::BarLine, 0});
        }
    }
    readSounds(array(root, u"sound_channels", u"sound_channels"_qs));
    readPictures(root.value(u"bga").toObject());
    return true;
}

}  // namespace

bool isBmsonPath(const QString& path) {
    return path.endsWith(u".bmson", Qt::CaseInsensitive);
}

Chart readBmson(const QByteArray& bytes, const QString& folder, ReadProgress* progress) {
    return BmsonReader(folder).read(bytes, progress);
}

}  // namespace carvel
