#pragma once

#include <QString>
#include <bit>
#include <cstdint>
#include <utility>
#include <variant>
#include <vector>

#include "chart/event.h"
#include "chart/load_message.h"
#include "chart/media_request.h"
#include "chart/reading_mode.h"

namespace carvel {

// A double that may stand at any address, as in a packed struct: it is read and written only by
// value, so no reference to a double ever binds to a misaligned one.
struct [[gnu::packed]] UnalignedDouble {
    double value = 0;

    UnalignedDouble() = default;
    UnalignedDouble(double v) : value(v) {}    // NOLINT(google-explicit-constructor): a double
    operator double() const { return value; }  // NOLINT(google-explicit-constructor)
};

// One event of the full reading: a sound or a picture at its time. Packed into 12 bytes, as the
// timeline is most of a large chart's memory; its fields are read and written by value (no
// reference binds to them).
struct [[gnu::packed, gnu::aligned(4)]] TimedEvent {
    UnalignedDouble timeMs = 0;  // from the chart's first beat
    // The channel's two characters read as a base-36 number (up to 1295).
    std::uint32_t channel : 11 = 0;
    // Sound or picture index, up to kMaxTimedValue (negative values serve the readers meanwhile).
    std::int32_t value : 20 = 0;
    // bmson: the note continues its sound channel's sound where it has got to, instead of
    // restarting it; the voice plays on and nothing starts.
    bool continues : 1 = false;
};
static_assert(sizeof(TimedEvent) == 12);

// An event that does not continue, put together as the bytes it is stored as. Set field by field,
// the bit fields are built in memory, a store and a reload each; this builds them in a register.
// Relies on bit fields being laid out from the lowest bit (the x86-64 and AArch64 ABIs); a test
// checks it.
inline TimedEvent makeTimedEvent(double timeMs, int channel, std::int32_t value) {
    struct [[gnu::packed, gnu::aligned(4)]] Bytes {
        double timeMs;
        std::uint32_t fields;
    };
    return std::bit_cast<TimedEvent>(
        Bytes{timeMs, (static_cast<std::uint32_t>(channel) & 0x7FF) |
                          (static_cast<std::uint32_t>(value) & 0xFFFFF) << 11});
}
inline constexpr std::int32_t kMaxTimedValue = (1 << 19) - 1;

// The classic reading's events.
struct EventTable {
    // The event table, in its order (EventOrder).
    std::vector<Event> events;
    // The ratio of each bar end (channel 2) event, indexed by its value.
    std::vector<double> barEndRatios;
    // How many lines only the full reading plays (a hint for the tools).
    int fullOnlyLines = 0;
};

// A point of a BMS text's measures where their pace is set: at measure position `measure` (the
// measure's number plus the fraction of its length) the chart reaches timeMs, stops for stopMs,
// then goes on at msPerMeasure for each whole measure's length.
struct MeasureAnchor {
    double measure = 0;
    double timeMs = 0;
    double stopMs = 0;
    double msPerMeasure = 0;
};

// A long note as a view of the chart draws it: held from startMs to endMs on the lane of its
// channel. The playback sounds only its start, which the timeline's events hold.
struct LongNote {
    double startMs = 0;
    double endMs = 0;
    // Its sound channel (base 36): 51-59 or 61-69, or the key channel 11-19 / 21-29 of the note
    // that an #LNOBJ note ends.
    std::uint16_t channel = 0;
};

// A point where the pace changes, as a view of the chart marks it.
struct TimingMark {
    double timeMs = 0;
    double bpm = 0;     // the tempo from here on; 0 when the tempo does not change here
    double stopMs = 0;  // the length of the stop that begins here; 0 for none
};

// The full reading's events: the sounds and pictures that play, by time, then channel, then value.
struct Timeline {
    std::vector<TimedEvent> events;
    // By position, from measure 0 to the end of the last measure (none for bmson); anchors at one
    // position follow in the order they apply, so the last of them holds.
    std::vector<MeasureAnchor> measures;

    // What only a view of the chart reads; the playback ignores it. Each in time order (long
    // notes by their starts), finite times only.
    std::vector<LongNote> longNotes;
    std::vector<TimingMark> timingMarks;
    // bmson's bar lines (its `lines`); a BMS text's bar lines are its measures'.
    std::vector<double> barLinesMs;
};

// A chart as read from its file: header fields, the events of the reading it was read with and
// the media it names. It holds no sounds or pictures; those are decoded from `media` by a
// separate step.
struct Chart {
    QString title = QStringLiteral("undifined");
    QString genre = QStringLiteral("undifined");
    QString artist = QStringLiteral("undifined");
    int bpm = 130;   // the one tempo, beats per minute, 1..32767
    QString folder;  // the chart's folder, ending in '/'; empty when the file was not read

    // The events, in the shape of the reading: the classic table or the full reading's timeline.
    std::variant<EventTable, Timeline> body;

    QString subtitle;
    QString playLevel;      // #PLAYLEVEL as written; empty when the chart gives none
    QString difficulty;     // #DIFFICULTY as written; empty when the chart gives none
    double startBpm = 130;  // the full reading's first tempo, fractions kept (bpm: rounded)

    // The #WAV, #BMP and #STAGEFILE lines, in line order.
    std::vector<MediaRequest> media;
    // What the reader found wrong with the file beyond the lines it skips (bmson), in file order.
    std::vector<LoadMessage> readProblems;

    ReadingMode mode() const {
        return std::holds_alternative<Timeline>(body) ? ReadingMode::Full : ReadingMode::Classic;
    }
    // Empties the events and gives them the shape of the reading.
    void setMode(ReadingMode mode);
    // The events of each reading; a chart of the other reading has none.
    const EventTable& table() const;
    const Timeline& timeline() const;
    // To fill them: the chart must be of that reading (setMode).
    EventTable& table() { return std::get<EventTable>(body); }
    Timeline& timeline() { return std::get<Timeline>(body); }
    bool hasEvents() const { return !table().events.empty() || !timeline().events.empty(); }
};

// The header fields the information box shows, as (label, value): TITLE, GENRE, ARTIST, BPM; the
// full reading adds SUBTITLE after TITLE, PLAYLEVEL and DIFFICULTY after BPM, each when the chart
// gives it.
std::vector<std::pair<QString, QString>> headerFields(const Chart& chart);

// The header fields that only the full reading reads and shows when a chart gives them, as
// (label, value): PLAYLEVEL, DIFFICULTY.
std::vector<std::pair<QString, QString>> headerExtras(const Chart& chart);

// The tempo as the information text shows it: the classic reading's whole number, the full
// reading's first tempo as written ("150.5"; trailing zeros of the fraction dropped).
QString bpmText(const Chart& chart);

}  // namespace carvel
