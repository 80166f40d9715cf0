#include "tools/range_options.h"

#include <cmath>

#include "chart/full_timeline.h"
#include "chart/measure_time.h"

namespace carvel {

namespace {

// A number 0 or above from an option's text; nullopt when there is no such text or it is none.
std::optional<double> nonNegative(const std::optional<QString>& text, bool& bad) {
    if (!text) {
        return std::nullopt;
    }
    bool ok = false;
    const double value = text->toDouble(&ok);
    if (!ok || !std::isfinite(value) || value < 0) {
        bad = true;
        return std::nullopt;
    }
    return value;
}

}  // namespace

QString rangeUsage() {
    return QStringLiteral(
        "  --from M          start at measure M (full reading; 8.5: halfway through measure 8),\n"
        "                    every sound that rings there at the sample it has reached\n"
        "  --to M            end at measure M (full reading); sounds still ringing are cut there\n"
        "  --from-ms MS      start at MS milliseconds of the chart (full reading)\n"
        "  --to-ms MS        end at MS milliseconds of the chart (full reading)\n"
        "  --mute keys|bgm   silence the key sounds (channels 11-19, 21-29, 51-59, 61-69)\n"
        "                    or the background sounds (channel 01)\n"
        "  --speed S         play at S times the speed, 0.5 to 2, the pitch moving with it\n"
        "  --keep-pitch      with --speed: keep the pitch\n");
}

void addRangeOptions(CommandLine& options) {
    options.addValue(QStringLiteral("--from"));
    options.addValue(QStringLiteral("--to"));
    options.addValue(QStringLiteral("--from-ms"));
    options.addValue(QStringLiteral("--to-ms"));
    options.addValue(QStringLiteral("--mute"));
    options.addValue(QStringLiteral("--speed"));
    options.addFlag(QStringLiteral("--keep-pitch"));
}

std::optional<int> readRangeOptions(const CommandLine& options, ReadingMode mode,
                                    RangeOptions& range) {
    struct Option {
        const char16_t* name;
        std::optional<double>& value;
        double most;
        const char16_t* why;
    };
    const Option read[] = {
        {u"--from", range.from.measure, kMeasureCount, u"--from takes a measure, 0 to 1000"},
        {u"--to", range.to.measure, kMeasureCount, u"--to takes a measure, 0 to 1000"},
        {u"--from-ms", range.from.ms, HUGE_VAL, u"--from-ms takes milliseconds, 0 or above"},
        {u"--to-ms", range.to.ms, HUGE_VAL, u"--to-ms takes milliseconds, 0 or above"},
    };
    for (const Option& o : read) {
        bool bad = false;
        o.value = nonNegative(options.value(QString::fromUtf16(o.name)), bad);
        if (bad || (o.value && *o.value > o.most)) {
            return options.usageError(QString::fromUtf16(o.why));
        }
    }
    if (range.from.measure && range.from.ms) {
        return options.usageError(QStringLiteral("give --from or --from-ms, not both"));
    }
    if (range.to.measure && range.to.ms) {
        return options.usageError(QStringLiteral("give --to or --to-ms, not both"));
    }
    if ((range.from.given() || range.to.given()) && mode != ReadingMode::Full) {
        return options.usageError(
            QStringLiteral("--from, --to, --from-ms and --to-ms need --full"));
    }
    const bool sameUnits =
        (range.from.measure && range.to.measure) || (range.from.ms && range.to.ms);
    if (sameUnits) {
        const double from = range.from.measure ? *range.from.measure : *range.from.ms;
        const double to = range.to.measure ? *range.to.measure : *range.to.ms;
        if (to <= from) {
            return options.usageError(QStringLiteral("the range must end after it starts"));
        }
    }
    if (const std::optional<QString> mute = options.value(QStringLiteral("--mute"))) {
        if (*mute == u"keys") {
            range.mute.keys = true;
        } else if (*mute == u"bgm") {
            range.mute.bgm = true;
        } else {
            return options.usageError(QStringLiteral("--mute takes keys or bgm"));
        }
    }
    if (const std::optional<QString> text = options.value(QStringLiteral("--speed"))) {
        bool ok = false;
        const double speed = text->toDouble(&ok);
        if (!ok || !(speed >= media::Speed::kSlowest && speed <= media::Speed::kFastest)) {
            return options.usageError(QStringLiteral("--speed takes a number from 0.5 to 2"));
        }
        range.speed.speed = speed;
    }
    range.speed.keepPitch = options.isSet(QStringLiteral("--keep-pitch"));
    return std::nullopt;
}

std::optional<double> rangeEndMs(const RangeEnd& end, const Timeline& timeline) {
    if (end.measure) {
        return measureTimeMs(timeline, *end.measure);
    }
    return end.ms;
}

QString unplacedEndText(const RangeEnd& end) {
    return QStringLiteral("measure ") + QString::number(end.measure.value_or(0)) +
           QStringLiteral(" has no time in this chart (a bmson chart has no measures)");
}

}  // namespace carvel
