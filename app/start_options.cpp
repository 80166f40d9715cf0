#include "app/start_options.h"

#include "platform/command_line.h"

namespace carvel {

namespace {

// QApplication's options that take a value (as the next argument or after '='), and those that
// take none.
const char16_t* const kValued[] = {
    u"-style",  u"-stylesheet",      u"-platform",    u"-platformpluginpath", u"-platformtheme",
    u"-plugin", u"-session",         u"-display",     u"-geometry",           u"-title",
    u"-name",   u"-qwindowgeometry", u"-qwindowicon", u"-qwindowtitle",       u"-qmljsdebugger"};
const char16_t* const kBare[] = {u"-reverse", u"-widgetcount", u"-nograb", u"-dograb", u"-sync"};

}  // namespace

QStringList withoutQtOptions(const QStringList& arguments) {
    QStringList kept;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& a = arguments[i];
        if (a == u"--") {
            kept += arguments.mid(i);
            break;
        }
        bool taken = false;
        for (const char16_t* name : kBare) {
            taken = taken || a == QStringView(name);
        }
        for (const char16_t* name : kValued) {
            const QStringView n(name);
            if (a == n) {
                taken = true;
                ++i;  // its value
            } else if (a.size() > n.size() && a.startsWith(n) && a[n.size()] == u'=') {
                taken = true;
            }
        }
        if (!taken) {
            kept.append(a);
        }
    }
    return kept;
}

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
