#include "platform/command_line.h"

#include "platform/file_name.h"

#include <cstdio>

namespace carvel {

void printText(std::FILE* stream, const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    std::fwrite(utf8.constData(), 1, static_cast<size_t>(utf8.size()), stream);
}

QString programVersion() {
    return QStringLiteral(CARVEL_VERSION);
}

QStringList argumentsOf(int argc, char** argv) {
    QStringList args;
    for (int i = 1; i < argc; ++i) {
        args.append(decodeFileName(argv[i]));
    }
    return args;
}

CommandLine::CommandLine(QString program, QString usage)
    : program_(std::move(program)), usage_(std::move(usage)) {}

void CommandLine::addFlag(const QString& name) {
    flags_.append(name);
}

void CommandLine::addValue(const QString& name) {
    valued_.append(name);
}

std::optional<int> CommandLine::parse(const QStringList& args) {
    bool optionsEnded = false;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& arg = args.at(i);
        if (optionsEnded || arg == u"-" || !arg.startsWith(u'-')) {
            operands_.append(arg);
            continue;
        }
        if (arg == u"--") {
            optionsEnded = true;
        } else if (arg == u"-h" || arg == u"--help") {
            printText(stdout, usage_);
            return 0;
        } else if (arg == u"--version") {
            printText(stdout, program_ + u' ' + programVersion() + u'\n');
            return 0;
        } else if (flags_.contains(arg)) {
            set_.append(arg);
            values_.append(QString());
        } else {
            const qsizetype equals = arg.indexOf(u'=');
            const QString name = equals < 0 ? arg : arg.left(equals);
            if (!valued_.contains(name)) {
                return usageError(QStringLiteral("unknown option ") + arg);
            }
            if (equals < 0 && i + 1 >= args.size()) {
                return usageError(QStringLiteral("option ") + name +
                                  QStringLiteral(" needs a value"));
            }
            set_.append(name);
            values_.append(equals < 0 ? args.at(++i) : arg.sliced(equals + 1));
        }
    }
    return std::nullopt;
}

std::optional<QString> CommandLine::value(const QString& name) const {
    const qsizetype at = set_.lastIndexOf(name);
    if (at < 0) {
        return std::nullopt;
    }
    return values_.at(at);
}

int CommandLine::usageError(const QString& why) const {
    printText(stderr, program_ + QStringLiteral(": ") + why + u'\n' + usage_);
    return 2;
}

}  // namespace carvel
