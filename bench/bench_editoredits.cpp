// Times the editor window on a long file, opened once as an observation file (coloured) and once
// as a report (not coloured): opening it, toggling the comment mark of every line, and typing one
// character. Prints one line per file.
#include "mainwindow.h"
#include "mdichild.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTextBlock>

#include <cstdio>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const int lineCount = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 5000;

    const QList<QByteArray> sample{
        " DIR  HZ  BORNE1       ST3                        242 55  58.562",
        " DIST DST BORNE1       ST3                             309.8503            m",
        " ZANG ZEN BORNE1       ST3                         88 41  10.221",
        " HT       ST3               1.600 m",
        "! station suivante",
        " XTMR 1 2 3",
        "#include nivellement.iob",
        " LNEU 000 ST4                    5310.600           1455.100          108.100   m",
    };
    QTemporaryDir dir;
    MainWindow window;
    window.resize(1000, 700);
    window.show();
    QCoreApplication::processEvents();

    // The same lines as an observation file (coloured) and as a report (not coloured).
    for (const char *name : {"long.iob", "long.log"}) {
        const QString path = dir.filePath(QString::fromLatin1(name));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            return 1;
        for (int i = 0; i < lineCount; ++i)
            file.write(sample.at(i % sample.size()) + "\r\n");
        file.close();

        QElapsedTimer timer;
        timer.start();
        window.openFile(path);
        QCoreApplication::processEvents();
        const double openMs = timer.nsecsElapsed() / 1e6;

        MdiChild *editor = window.activeMdiChild();
        editor->selectAll();
        timer.restart();
        window.commenter();
        QCoreApplication::processEvents();
        const double commentMs = timer.nsecsElapsed() / 1e6;

        constexpr int edits = 200;
        QTextCursor cursor(editor->document());
        timer.restart();
        for (int i = 0; i < edits; ++i) {
            cursor.setPosition(
                editor->document()->findBlockByNumber((i * 7919) % lineCount).position() + 30);
            cursor.insertText(QStringLiteral("x"));
        }
        const double editUs = timer.nsecsElapsed() / 1e3 / edits;

        std::printf("editor, %s, %d lines: open %.0f ms, comment every line %.0f ms, one typed "
                    "character %.0f us\n",
                    name, lineCount, openMs, commentMs, editUs);
    }
    return 0;
}
