#include "sharedhelpers.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QMainWindow>

int main(int argc, char *argv[])
{
    Q_INIT_RESOURCE(images);
    QApplication app(argc, argv);
    QApplication::setApplicationVersion(QString::fromLatin1(TAVLO_APPLICATION_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Tavlo : atelier de compensation"));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("Fichier"), QStringLiteral("Fichier a ouvrir."));
    parser.process(app);

    QMainWindow window;
    window.show();
    return app.exec();
}
