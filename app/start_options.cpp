#include "app/start_options.h"

#include "platform/command_line.h"

namespace carvel {

std::optional<int> parseStartOptions(const QStringList& arguments, StartOptions& options) {
    CommandLine line(QStringLiteral("carvel"),
                     QStringLiteral("usage: carvel [OPTION]... [CHART]\n"
                                    "Plays BMS charts by themselves from a playlist. With CHART, "
                                    "adds it to the playlist\nand plays it; a program that runs "
                                    "already is handed CHART instead.\n"
                                    "  --full       read the charts in full (extended BMS) from "
                                    "now on, without\n"
                                    "               changing the mode remembered for the next "
                                    "start\n"
                                    "  -h, --help   show this text\n"
                                    "  --version    show the version\n"));
    line.addFlag(QStringLiteral("--full"));
    if (const std::optional<int> status = line.parse(arguments)) {
        return status;
    }
    options.chart = line.operands().join(u' ');
    options.full = line.isSet(QStringLiteral("--full"));
    return std::nullopt;
}

}  // namespace carvel
