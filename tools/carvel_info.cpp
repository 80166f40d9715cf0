// carvel-info CHART: loads a chart as the player does and prints what the reader made of it.
#include <QCoreApplication>
#include <QStringList>
#include <cstdio>
#include <string>

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
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 2) {
        std::fputs("usage: carvel-info CHART\n", stderr);
        return 2;
    }
    const carvel::LoadedChart loaded = carvel::loadChart(args.at(1), carvel::MediaOptions());
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
