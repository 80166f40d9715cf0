// carvel-info CHART: loads a chart as the player does and prints what the reader made of it.
#include <QCoreApplication>
#include <QStringList>
#include <cstdio>
#include <string>

#include "chart/chart_loader.h"

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
    carvel::ChartState state;
    QStringList messages;
    const int result = carvel::OpenChart(args.at(1), messages, state, nullptr);

    printLine(QStringLiteral("TITLE : ") + state.strTitle);
    printLine(QStringLiteral("GENRE : ") + state.strGenre);
    printLine(QStringLiteral("ARTIST : ") + state.strArtist);
    printLine(QStringLiteral("BPM : ") + QString::number(state.intBpm));
    printLine(QStringLiteral("messages: ") + QString::number(messages.size()));
    for (const QString& message : messages) {
        printLine(message);
    }
    std::string events = "events: " + std::to_string(state.colEvents.size()) + "\n";
    for (const std::string& event : state.colEvents) {
        events += event;
        events += '\n';
    }
    std::fwrite(events.data(), 1, events.size(), stdout);
    return result == 1 ? 1 : 0;
}
