// The floor of the start-up benchmark: an empty Qt window of the main window's size and title,
// what Qt itself needs to show a window here.
//   bench_empty_window WIDTH HEIGHT TITLE
#include <QApplication>
#include <QWidget>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    QWidget window;
    if (arguments.size() >= 4) {
        window.resize(arguments[1].toInt(), arguments[2].toInt());
        window.setWindowTitle(arguments[3]);
    }
    window.show();
    return app.exec();
}
