#include <QApplication>
#include <QMainWindow>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QMainWindow window;
    window.setWindowTitle("Tolvemark v0.1");
    window.showMaximized();
    return app.exec();
}
