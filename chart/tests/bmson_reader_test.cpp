#include <gtest/gtest.h>

#include "testing/qt_printers.h"

#include "chart/bmson_reader.h"
#include "chart/timed_event_text.h"
#include "testing/fakes.h"

namespace carvel {
namespace {

using Strings = std::vector<std::string>;

Strings timedEvents(const Chart& chart) {
    Strings out;
    for (const TimedEvent& e : chart.timeline().events) {
        out.emplace_back();
        appendTimedEventText(out.back(), e);
        if (e.continues) {
            out.back() += " continues";
        }
    }
    return out;
}

Chart read(const char* json) {
    return readBmson(QByteArray(json), u"/nonexistent/"_qs);
}

// At 120 BPM and 240 pulses a beat, a pulse lasts 500/240 ms.
TEST(Bmson, TimesLanesAndSounds) {
    struct Case {
        const char* name;
        const char* json;
        Strings events;
    };
    const Case cases[] = {
        {"lanes of beat-7k; x 0 is background; a long note starts on its long-note channel",
         R"({"info":{"init_bpm":120},"sound_channels":[{"name":"a.wav","notes":[
           {"x":0,"y":0},{"x":1,"y":240},{"x":6,"y":240},{"x":8,"y":240},{"x":9,"y":480},
           {"x":14,"y":480},{"x":16,"y":480},{"x":2,"y":720,"l":240}]},
           {"name":"b.wav","notes":[{"x":1,"y":240,"c":true}]}]})",
         {"0.000,01,1", "500.000,11,1", "500.000,11,2 continues", "500.000,16,1", "500.000,18,1",
          "1000.000,21,1", "1000.000,26,1", "1000.000,28,1", "1500.000,52,1"}},
        {"a tempo change, then a stop at the new tempo; a note at the stop sounds as it begins",
         R"({"info":{"init_bpm":120},"bpm_events":[{"y":480,"bpm":240}],
           "stop_events":[{"y":960,"duration":240}],"sound_channels":[{"name":"a.wav","notes":[
           {"x":1,"y":480},{"x":1,"y":720},{"x":1,"y":960},{"x":1,"y":1200}]}]})",
         {"1000.000,11,1", "1250.000,11,1", "1500.000,11,1", "2000.000,11,1"}},
        {"resolution 480 at 60 BPM",
         R"({"info":{"init_bpm":60,"resolution":480},"sound_channels":[{"notes":[
           {"x":3,"y":240},{"x":3,"y":960}]}]})",
         {"500.000,13,1", "2000.000,13,1"}},
        {"pictures by id: base, layer and Miss",
         R"({"info":{"init_bpm":120},"bga":{"bga_header":[{"id":7,"name":"a.png"},
           {"id":3,"name":"b.png"}],"bga_events":[{"y":0,"id":3}],"layer_events":[{"y":240,"id":7}],
           "poor_events":[{"y":480,"id":7}]}})",
         {"0.000,04,2", "500.000,07,1", "1000.000,06,1"}},
    };
    for (const Case& c : cases) {
        const Chart chart = read(c.json);
        EXPECT_EQ(timedEvents(chart), c.events) << c.name;
        EXPECT_TRUE(chart.readProblems.empty()) << c.name;
    }
}

TEST(Bmson, HeaderMediaAndWhatIsWrong) {
    const Chart chart = read(
        R"({"info":{"title":"T","subtitle":"S","artist":"A","genre":"G","level":12,
        "chart_name":"HYPER","init_bpm":150.5,"back_image":"back.png"},
        "sound_channels":[{"name":"a.wav","notes":[]},{"name":"b.ogg"}]})");
    EXPECT_EQ(testing::fieldsText(chart),
              u"TITLE : T\r\nSUBTITLE : S\r\nGENRE : G\r\nARTIST : A\r\nBPM : 150.5\r\n"
              "PLAYLEVEL : 12\r\nDIFFICULTY : HYPER"_qs);
    ASSERT_EQ(chart.media.size(), 3u);
    EXPECT_EQ(chart.media[0].kind, MediaRequest::Kind::Stage);
    EXPECT_EQ(chart.media[2].name, u"b.ogg"_qs);
    EXPECT_EQ(chart.media[2].index, 2);

    using Kind = LoadMessage::Kind;
    struct Case {
        const char* json;
        std::vector<LoadMessage> problems;
        size_t events;
    };
    const Case cases[] = {
        {"{\"info\":", {{Kind::BmsonInvalid, u"unterminated object"_qs, {}, 8}}, 0},
        {"[1]", {{Kind::BmsonInvalid, u"not an object"_qs, {}, 0}}, 0},
        {R"({"info":{"title":5,"init_bpm":"fast"},"sound_channels":[{"notes":[{"x":1},
           {"x":1,"y":-3},{"x":1,"y":240},{"x":"a","y":480}]}]})",
         {{Kind::BmsonField, u"info.title"_qs, {}, 0},
          {Kind::BmsonField, u"info.init_bpm"_qs, {}, 0},
          {Kind::BmsonField, u"sound_channels[].notes[].y"_qs, {}, 0},
          {Kind::BmsonField, u"sound_channels[].notes[].x"_qs, {}, 0}},
         2},
        {R"({"info":{"init_bpm":120},"sound_channels":7,"bga":{"bga_events":[{"y":0,"id":1}]}})",
         {{Kind::BmsonField, u"sound_channels"_qs, {}, 0},
          {Kind::BmsonField, u"bga.bga_events[]"_qs, {}, 0}},
         0},
    };
    for (const Case& c : cases) {
        const Chart read = carvel::readBmson(QByteArray(c.json), u"/nonexistent/"_qs);
        EXPECT_EQ(read.readProblems, c.problems) << c.json;
        EXPECT_EQ(read.timeline().events.size(), c.events) << c.json;
    }
}

// The last sound channel that an event can name is read; the ones after it are not, with a word.
TEST(Bmson, SoundChannelsBeyondAnEventsIndex) {
    const QByteArray note = R"({"name":"a.wav","notes":[{"x":1,"y":0}]})";
    const QByteArray json = R"({"info":{"init_bpm":120},"sound_channels":[)" +
                            QByteArray("{},").repeated(kMaxTimedValue - 1) + note + ',' + note +
                            "]}";
    const Chart chart = readBmson(json, u"/nonexistent/"_qs);
    EXPECT_EQ(
        chart.readProblems,
        std::vector<LoadMessage>({{LoadMessage::Kind::BmsonField, u"sound_channels[]"_qs, {}, 0}}));
    EXPECT_EQ(timedEvents(chart), Strings{"0.000,11,524287"});
}

}  // namespace
}  // namespace carvel
