#pragma once

#include <QString>
#include <QStringList>
#include <cstdio>
#include <optional>

namespace carvel {

// Writes text to stream in UTF-8, whatever the locale.
void printText(std::FILE* stream, const QString& text);

// The project's version, as the build names it ("0.1.0").
QString programVersion();

// The arguments after the program name, each decoded as a file name is (UTF-8 when valid, else
// CP932): QCoreApplication::arguments() loses bytes that are no UTF-8, and CP932 file names are
// just such bytes.
QStringList argumentsOf(int argc, char** argv);

// The options of a command-line program: "--name", "--name VALUE" or "--name=VALUE" for options
// that take a value, "-h" or "--help", "--version"; "--" ends the options, and every other
// argument is an operand. Messages go to stdout (help, version) or stderr (errors), in UTF-8.
class CommandLine {
  public:
    // program: the name --version and errors print; usage: the whole --help text, one line
    // "usage: ..." first, ending in a line break.
    CommandLine(QString program, QString usage);

    void addFlag(const QString& name);   // "--once"
    void addValue(const QString& name);  // "--rate": takes the next argument

    // Returns the exit status when the program should end at once: 0 once help or the version
    // is printed, 2 after an unknown option or a missing value (with the usage on stderr);
    // nullopt when the program goes on.
    std::optional<int> parse(const QStringList& args);

    bool isSet(const QString& name) const { return set_.contains(name); }
    // The value of the last occurrence; nullopt when not given.
    std::optional<QString> value(const QString& name) const;
    const QStringList& operands() const { return operands_; }

    // Prints "<program>: <why>" and the usage to stderr and returns 2, the status of a usage error.
    int usageError(const QString& why) const;

  private:
    QString program_;
    QString usage_;
    QStringList flags_;
    QStringList valued_;
    QStringList set_;
    QStringList values_;  // parallel to set_; empty for flags
    QStringList operands_;
};

}  // namespace carvel
