#include <gtest/gtest.h>

#include "testing/qt_printers.h"

#include "chart/bmson_reader.h"
#include "chart/channels.h"
#include "chart/chart_reader.h"
#include "chart/timed_event_text.h"

namespace carvel {
namespace {

using Strings = std::vector<std::string>;
using channels::base36;

Chart readFull(const QString& text) {
    return readChartText(text, u"/nonexistent/"_qs, nullptr, {ReadingMode::Full, 7});
}

// Each long note as "start-end,channel" (channel as its two characters), times in ms.
Strings longNotes(const Chart& chart) {
    Strings out;
    for (const LongNote& n : chart.timeline().longNotes) {
        const int c = n.channel;
        const char name[] = {static_cast<char>(c < 360 ? '0' + c / 36 : 'A' + c / 36 - 10),
                             static_cast<char>(c % 36 < 10 ? '0' + c % 36 : 'A' + c % 36 - 10), 0};
        out.push_back(QString::number(n.startMs, 'f', 0).toStdString() + '-' +
                      QString::number(n.endMs, 'f', 0).toStdString() + ',' + name);
    }
    return out;
}

// Each mark as "time bpm stop".
Strings marks(const Chart& chart) {
    Strings out;
    for (const TimingMark& m : chart.timeline().timingMarks) {
        out.push_back(QString::number(m.timeMs, 'f', 0).toStdString() + ' ' +
                      QString::number(m.bpm, 'g', 6).toStdString() + ' ' +
                      QString::number(m.stopMs, 'g', 6).toStdString());
    }
    return out;
}

Strings eventTexts(const Chart& chart) {
    Strings out(chart.timeline().events.size());
    for (size_t i = 0; i < out.size(); ++i) {
        appendTimedEventText(out[i], chart.timeline().events[i]);
    }
    return out;
}

// At 120 BPM a measure lasts 2000 ms.
TEST(ViewData, LongNotesOfBmsText) {
    struct Case {
        const char* name;
        QString text;
        Strings notes;
        Strings events;  // what plays is as before: starts only, #LNOBJ notes dropped
    };
    const Case cases[] = {
        {"51-59 pairs: start and end alternate per lane, across measures",
         u"#00051:01000200\n#00151:03000004\n#00061:07\n#00161:08\n"_qs,
         {"0-1000,51", "0-2000,61", "2000-3500,51"},
         {"0.000,51,1", "0.000,61,7", "2000.000,51,3"}},
        {"a note left open at the end has no bar", u"#00052:01\n"_qs, {}, {"0.000,52,1"}},
        {"#LNOBJ ends the previous note of its lane; a second end ends nothing",
         u"#LNOBJ ZZ\n#00011:0100ZZZZ\n#00012:01\n#00112:ZZ\n"_qs,
         {"0-1000,11", "0-2000,12"},
         {"0.000,11,1", "0.000,12,1"}},
        {"#LNOBJ with no note before it ends nothing",
         u"#LNOBJ ZZ\n#00013:ZZ01\n"_qs,
         {},
         {"1000.000,13,1"}},
        {"the long notes come by their starts",
         u"#00051:00010001\n#00052:0101\n"_qs,
         {"0-1000,52", "500-1500,51"},
         {"0.000,52,1", "500.000,51,1"}},
    };
    for (const Case& c : cases) {
        const Chart chart = readFull(u"#BPM 120\n"_qs + c.text);
        EXPECT_EQ(longNotes(chart), c.notes) << c.name;
        EXPECT_EQ(eventTexts(chart), c.events) << c.name;
    }
}

TEST(ViewData, TimingMarksOfBmsText) {
    struct Case {
        const char* name;
        QString text;
        Strings marks;
    };
    const Case cases[] = {
        {"none without changes", u"#00011:01\n"_qs, {}},
        {"a tempo change in a measure and one at a bar line",
         u"#00003:78F0\n#00103:3C\n#00211:01\n"_qs,
         {"0 120 0", "1000 240 0", "1500 60 0"}},
        {"a stop, and a tempo with a stop at one position",
         u"#STOP01 96\n#BPM01 240\n#00009:0001\n#00108:01\n#00109:01\n#00211:01\n"_qs,
         {"1000 0 1000", "3000 240 500"}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(marks(readFull(u"#BPM 120\n"_qs + c.text)), c.marks) << c.name;
    }
}

// At 120 BPM and 240 pulses a beat, 240 pulses last 500 ms.
TEST(ViewData, Bmson) {
    const Chart chart = readBmson(
        R"({"info":{"init_bpm":120},"lines":[{"y":0},{"y":960},{"y":"x"},{"y":-1},{"y":1920}],
           "bpm_events":[{"y":960,"bpm":240}],"stop_events":[{"y":1440,"duration":240}],
           "sound_channels":[{"name":"a.wav","notes":[
             {"x":1,"y":0,"l":480},{"x":0,"y":0,"l":480},{"x":9,"y":960,"l":960},
             {"x":2,"y":1440,"l":1.75e308}]}]})",
        u"/nonexistent/"_qs);
    EXPECT_EQ(longNotes(chart), (Strings{"0-1000,51", "2000-3250,61"}));
    EXPECT_EQ(marks(chart), (Strings{"2000 240 0", "2500 0 250"}));
    EXPECT_EQ(chart.timeline().barLinesMs, (std::vector<double>{0, 2000, 3250}));
    EXPECT_TRUE(chart.readProblems.empty());
}

}  // namespace
}  // namespace carvel
