#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace carvel {

// What `carvel` is started with: its options, and the chart text, which is the operands joined by
// single blanks as the design joins the command-line arguments (so an unquoted path with blanks
// still names its file).
struct StartOptions {
    QString chart;
    // --full: the charts of this run are read in full; the remembered mode stays as it is.
    bool full = false;
};

// Takes Qt's own options (-style S, -stylesheet=F, -platform P, -reverse, ...) out of the
// arguments: QApplication reads them from the command line, and they are no chart.
QStringList withoutQtOptions(const QStringList& arguments);

// Parses carvel's arguments. Returns the exit status when the program should end at once: 0 after
// --help or --version, 2 after a usage error (the texts go to stdout and stderr).
std::optional<int> parseStartOptions(const QStringList& arguments, StartOptions& options);

}  // namespace carvel
