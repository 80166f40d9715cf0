// carvel-info CHART: loads a chart as the player does and prints what the reader made of it.
#include <QCoreApplication>
#include <QStringList>
#include <cstdio>
#include <string>

#include "platform/command_line.h"
#include "playback/chart_loader.h"
#include "playback/display_texts.h"

namespace {

void printLine(const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    std::fwrite(utf8.constData(), 1, static_cast<size_t>(utf8.size()), stdout);
    std::fputc('\n', stdout);
}

}  // namespace

int main(int argc, char** argv) {
    carvel::CommandLine options(
        QStringLiteral("carvel-info"),
        QStringLiteral(
            "usage: carvel-info [OPTION]... CHART\n"
            "Loads CHART as the player does and prints its header fields, messages and events.\n"
            "  -h, --help   show this text\n"
            "  --version    show the version\n"));
    if (const std::optional<int> status = options.parse(carvel::argumentsOf(argc, argv))) {
        return *status;
    }
    if (options.operands().size() != 1) {
        return options.usageError(QStringLiteral("one CHART expected"));
    }
    QCoreApplication app(argc, argv);
    const carvel::LoadedChart loaded =
        carvel::loadChart(options.operands().at(0), carvel::MediaOptions());
    const carvel::Chart& chart = loaded.chart;

    printLine(QStringLiteral("TITLE : ") + chart.title);
    printLine(QStringLiteral("GENRE : ") + chart.genre);
    printLine(QStringLiteral("ARTIST : ") + chart.artist);
    printLine(QStringLiteral("BPM : ") + QString::number(chart.bpm));
    printLine(QStringLiteral("messages: ") + QString::number(loaded.messages.size()));
    for (const carvel::LoadMessage& message : loaded.messages) {
        printLine(carvel::messageText(message));
    }
    std::string events = "events: " + std::to_string(chart.events.size()) + "\n";
    for (const carvel::Event& event : chart.events) {
        carvel::appendEventText(events, event, chart.barEndRatios);
        events += '\n';
        if (events.size() >= 1 << 16) {
            std::fwrite(events.data(), 1, events.size(), stdout);
            events.clear();
        }
    }
    std::fwrite(events.data(), 1, events.size(), stdout);
    return loaded.found ? 0 : 1;
}
