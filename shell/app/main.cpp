#include <QApplication>
#include <QMainWindow>
#include <QTranslator>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QTranslator translator;
    if (translator.load(QStringLiteral(":/en.qm")))
        QApplication::installTranslator(&translator);
    QMainWindow window;
    window.setWindowTitle(QObject::tr("Ferrovantis Tarnwick for Mac"));
    window.resize(1000, 680);
    window.show();
    return QApplication::exec();
}
