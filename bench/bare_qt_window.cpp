// The floor for the window's start: a bare Qt Widgets main window with a
// menu bar, a tool bar and a list, shown as soon as the program starts.
#include <QApplication>
#include <QListWidget>
#include <QMainWindow>
#include <QMenuBar>
#include <QToolBar>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QMainWindow window;
    window.menuBar()->addMenu("&File")->addAction("E&xit", &app, &QApplication::quit);
    window.addToolBar("Tools")->addAction("Convert");
    window.setCentralWidget(new QListWidget);
    window.resize(640, 260);
    window.show();
    return app.exec();
}
