#pragma once

// The options the tools share for the reading: --full and --seed N.
#include <QString>
#include <cstdint>
#include <optional>

#include "chart/reading_mode.h"
#include "platform/command_line.h"

namespace carvel {

inline void addReadingOptions(CommandLine& options) {
    options.addFlag(QStringLiteral("--full"));
    options.addValue(QStringLiteral("--seed"));
}

// The reading the options ask for; nullopt after a usage error, whose exit status is in status.
inline std::optional<ReadOptions> readingOptions(const CommandLine& options, int& status) {
    ReadOptions reading;
    reading.mode =
        options.isSet(QStringLiteral("--full")) ? ReadingMode::Full : ReadingMode::Classic;
    if (const std::optional<QString> text = options.value(QStringLiteral("--seed"))) {
        bool ok = false;
        const qulonglong seed = text->toULongLong(&ok, 10);
        if (!ok || seed > 0xFFFFFFFFu || text->startsWith(u'+')) {
            status =
                options.usageError(QStringLiteral("--seed takes a whole number, 0 to 4294967295"));
            return std::nullopt;
        }
        reading.seed = static_cast<std::uint32_t>(seed);
    }
    return reading;
}

}  // namespace carvel
