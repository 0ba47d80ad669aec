#include <QApplication>
#include <QMainWindow>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setOrganizationName("Orvane");
    QApplication::setApplicationName("Nemora");
    QMainWindow window;
    window.setWindowTitle("Nemorate");
    window.resize(900, 640);
    window.show();
    return QApplication::exec();
}
