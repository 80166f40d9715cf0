// carvel-info CHART: loads a chart as the player does and prints what the reader made of it.
#include <QCoreApplication>
#include <QStringList>
#include <cstdio>
#include <string>

#include "chart/chart_loader.h"
#include "platform/command_line.h"

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
    carvel::ChartState state;
    QStringList messages;
    const int result = carvel::OpenChart(options.operands().at(0), messages, state, nullptr);

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
