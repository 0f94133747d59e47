#include "engine/base/allocatortuning.h"
#include "frmsplash.h"
#include "mainwindow.h"
#include "productinfo.h"
#include "qttranslations.h"
#include "tavloversion.h"

#include <QApplication>
#include <QCommandLineParser>

int main(int argc, char *argv[])
{
    // Before any thread starts: the engine runs in this process.
    engine::restartWithAllocatorTuning(argv);
    Q_INIT_RESOURCE(images);
    QApplication app(argc, argv);
    installQtTranslations(app);
    QApplication::setApplicationVersion(QString::fromLatin1(TAVLO_APPLICATION_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Tavlo : ") + productTitle());
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("Fichier"), QStringLiteral("Fichier a ouvrir."),
                                 QStringLiteral("[Fichier...]"));
    parser.process(app);

    QApplication::processEvents();

    MainWindow window;
    const QStringList files = parser.positionalArguments();
    for (const QString &file : files)
        window.openFile(file);

    frmSplash splash;
    splash.connectToMainWindow(window);
    splash.show();

    window.show();
    // The main window came up over the splash screen; the splash stays in front until clicked.
    splash.raise();
    return app.exec();
}
