// carvel-textview FILE: shows a text file (a chart, the readme) read-only, decoded as UTF-8 or
// CP932 like the charts themselves.
#include <QApplication>
#include <QFileInfo>
#include <QFontDatabase>
#include <QPlainTextEdit>

#include "platform/text_file.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QStringList args = QApplication::arguments();
    if (args.size() != 2) {
        return 2;
    }
    QPlainTextEdit view;
    view.setReadOnly(true);
    view.setLineWrapMode(QPlainTextEdit::NoWrap);
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setFamilies({font.family(), QStringLiteral("IPAGothic")});
    view.setFont(font);
    const std::optional<QString> text = carvel::readTextFile(args.at(1));
    view.setPlainText(text.value_or(QStringLiteral("(読み込めません: ") + args.at(1) + u')'));
    view.setWindowTitle(QFileInfo(args.at(1)).fileName() + QStringLiteral(" - Carvel"));
    view.resize(640, 480);
    view.show();
    return QApplication::exec();
}
