// carvel-textview FILE: shows a text file (a chart, the readme) read-only, decoded as UTF-8 or
// CP932 like the charts themselves.
#include <QApplication>
#include <QFileInfo>
#include <QFontDatabase>
#include <QPlainTextEdit>

#include "platform/command_line.h"
#include "platform/text_file.h"

int main(int argc, char** argv) {
    carvel::CommandLine options(QStringLiteral("carvel-textview"),
                                QStringLiteral("usage: carvel-textview [OPTION]... FILE\n"
                                               "Shows a text file read-only, decoded as UTF-8 or "
                                               "CP932 like the charts themselves.\n"
                                               "  -h, --help   show this text\n"
                                               "  --version    show the version\n"));
    if (const std::optional<int> status = options.parse(carvel::argumentsOf(argc, argv))) {
        return *status;
    }
    if (options.operands().size() != 1) {
        return options.usageError(QStringLiteral("one FILE expected"));
    }
    const QString path = options.operands().at(0);
    QApplication app(argc, argv);
    QPlainTextEdit view;
    view.setReadOnly(true);
    view.setLineWrapMode(QPlainTextEdit::NoWrap);
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setFamilies({font.family(), QStringLiteral("IPAGothic")});
    view.setFont(font);
    const std::optional<QString> text = carvel::readTextFile(path);
    view.setPlainText(text.value_or(QStringLiteral("(読み込めません: ") + path + u')'));
    view.setWindowTitle(QFileInfo(path).fileName() + QStringLiteral(" - Carvel"));
    view.resize(640, 480);
    view.show();
    return QApplication::exec();
}
