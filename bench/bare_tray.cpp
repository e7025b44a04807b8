// The baseline the benchmark measures the agent against: the least a Qt Widgets tray program
// is, one window and one tray item shown, doing nothing.

#include <QApplication>
#include <QPixmap>
#include <QSystemTrayIcon>
#include <QWidget>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    QPixmap mark(22, 22);
    mark.fill(Qt::darkGreen);
    QSystemTrayIcon tray{QIcon(mark)};
    tray.show();
    QWidget window;
    window.show();
    return QApplication::exec();
}
