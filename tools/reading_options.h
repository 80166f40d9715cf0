#pragma once

// The options the tools share for the reading: --full and --seed N.
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

#include "chart/reading_mode.h"
#include "platform/command_line.h"

namespace carvel {

// Adds --full and --seed N to options and parses arguments. Returns the exit status when the
// tool ends here (help, version, a usage error); otherwise nullopt, with the reading asked for
// in reading.
inline std::optional<int> parseWithReadingOptions(CommandLine& options,
                                                  const QStringList& arguments,
                                                  ReadOptions& reading) {
    options.addFlag(QStringLiteral("--full"));
    options.addValue(QStringLiteral("--seed"));
    if (const std::optional<int> status = options.parse(arguments)) {
        return status;
    }
    reading.mode =
        options.isSet(QStringLiteral("--full")) ? ReadingMode::Full : ReadingMode::Classic;
    if (const std::optional<QString> text = options.value(QStringLiteral("--seed"))) {
        bool ok = false;
        const qulonglong seed = text->toULongLong(&ok, 10);
        if (!ok || seed > 0xFFFFFFFFu || text->startsWith(u'+')) {
            return options.usageError(
                QStringLiteral("--seed takes a whole number, 0 to 4294967295"));
        }
        reading.seed = static_cast<std::uint32_t>(seed);
    }
    return std::nullopt;
}

}  // namespace carvel
