// carvel-info [--full [--seed N]] CHART: loads a chart as the player does and prints what the
// reader made of it.
#include <QCoreApplication>
#include <QStringList>
#include <cstdio>
#include <string>

#include "chart/chart.h"
#include "chart/event.h"
#include "chart/timed_event_text.h"
#include "platform/command_line.h"
#include "playback/chart_loader.h"
#include "playback/display_texts.h"
#include "tools/reading_options.h"

namespace {

void printLine(const QString& text) {
    carvel::printText(stdout, text + u'\n');
}

// Writes the timeline's lines through one buffer that is flushed every 64 KiB.
void printTimeline(const std::vector<carvel::TimedEvent>& events) {
    const std::string head = "events: " + std::to_string(events.size()) + "\n";
    std::fwrite(head.data(), 1, head.size(), stdout);
    constexpr size_t kFlush = 1 << 16;
    std::vector<char> buffer(kFlush + carvel::TimedEventTexts::kMaxText + 1);
    carvel::TimedEventTexts texts;
    char* end = buffer.data();
    for (const carvel::TimedEvent& event : events) {
        end = texts.write(end, event);
        *end++ = '\n';
        if (static_cast<size_t>(end - buffer.data()) >= kFlush) {
            std::fwrite(buffer.data(), 1, static_cast<size_t>(end - buffer.data()), stdout);
            end = buffer.data();
        }
    }
    std::fwrite(buffer.data(), 1, static_cast<size_t>(end - buffer.data()), stdout);
}

// The same for the event table.
void printTable(const carvel::EventTable& table) {
    const std::string head = "events: " + std::to_string(table.events.size()) + "\n";
    std::fwrite(head.data(), 1, head.size(), stdout);
    carvel::EventLineBuffer lines(table.barEndRatios);
    const carvel::Event* next = table.events.data();
    const carvel::Event* const end = next + table.events.size();
    while (next != end) {
        next = lines.add(next, end, 1 << 16);
        std::fwrite(lines.text().data(), 1, lines.text().size(), stdout);
        lines.clear();
    }
}

// 3120 as "3,120".
QString withCommas(int n) {
    QString digits = QString::number(n);
    for (qsizetype i = digits.size() - 3; i > 0; i -= 3) {
        digits.insert(i, u',');
    }
    return digits;
}

}  // namespace

int main(int argc, char** argv) {
    carvel::CommandLine options(
        QStringLiteral("carvel-info"),
        QStringLiteral(
            "usage: carvel-info [OPTION]... CHART\n"
            "Loads CHART as the player does and prints its header fields, messages and events.\n"
            "  --full       the full reading: every sound and picture with its time in ms\n"
            "  --seed N     with --full, draw #RANDOM from seed N (0 to 4294967295)\n"
            "  -h, --help   show this text\n"
            "  --version    show the version\n"));
    carvel::ReadOptions reading;
    if (const std::optional<int> status =
            carvel::parseWithReadingOptions(options, carvel::argumentsOf(argc, argv), reading)) {
        return *status;
    }
    if (options.operands().size() != 1) {
        return options.usageError(QStringLiteral("one CHART expected"));
    }
    QCoreApplication app(argc, argv);
    const carvel::LoadedChart loaded =
        carvel::loadChart(options.operands().at(0), carvel::MediaOptions(), nullptr, reading);
    const carvel::Chart& chart = loaded.chart;

    printLine(QStringLiteral("TITLE : ") + chart.title);
    printLine(QStringLiteral("GENRE : ") + chart.genre);
    printLine(QStringLiteral("ARTIST : ") + chart.artist);
    printLine(QStringLiteral("BPM : ") + carvel::bpmText(chart));
    for (const auto& [label, field] : carvel::headerExtras(chart)) {
        printLine(label + QStringLiteral(" : ") + field);
    }
    printLine(QStringLiteral("messages: ") + QString::number(loaded.messages.size()));
    for (const carvel::LoadMessage& message : loaded.messages) {
        printLine(carvel::messageText(message));
    }
    if (reading.mode == carvel::ReadingMode::Full) {
        printTimeline(chart.timeline().events);
    } else {
        printTable(chart.table());
        if (chart.table().fullOnlyLines > 0) {
            std::fflush(stdout);
            carvel::printText(
                stderr, QStringLiteral("note: ") + withCommas(chart.table().fullOnlyLines) +
                            QStringLiteral(" lines use base-36 indexes, 7-key lanes, long notes, "
                                           "tempo changes, stops or random branches; --full "
                                           "reads them\n"));
        }
    }
    return loaded.found ? 0 : 1;
}
