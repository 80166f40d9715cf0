// The least a Qt Widgets program does to show a window: the yardstick for carvel's start-up.
#include <QApplication>
#include <QWidget>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("minimal"));
    window.show();
    return QApplication::exec();
}
