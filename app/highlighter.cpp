#include "highlighter.h"

#include <QColor>

Highlighter::Highlighter(QTextDocument *document)
    : QSyntaxHighlighter(document)
{
    // Every record code the engine reads, except STGR and XTMR, which are written but not
    // coloured; XMTR is coloured although no record carries it.
    const QStringList codes{
        QStringLiteral("3DC"),  QStringLiteral("3DD"),  QStringLiteral("ANGT"),
        QStringLiteral("AUX"),  QStringLiteral("AZIM"), QStringLiteral("CORR"),
        QStringLiteral("COV"),  QStringLiteral("DIR"),  QStringLiteral("DIST"),
        QStringLiteral("DSET"), QStringLiteral("DXYZ"), QStringLiteral("ELEM"),
        QStringLiteral("ELIP"), QStringLiteral("EPOC"), QStringLiteral("GEOI"),
        QStringLiteral("GFIL"), QStringLiteral("GRP"),  QStringLiteral("HI"),
        QStringLiteral("HT"),   QStringLiteral("LAMB"), QStringLiteral("LENU"),
        QStringLiteral("LNEU"), QStringLiteral("NEH"),  QStringLiteral("NEO"),
        QStringLiteral("OHDF"), QStringLiteral("OMER"), QStringLiteral("PLH"),
        QStringLiteral("PLHD"), QStringLiteral("PLO"),  QStringLiteral("PLOD"),
        QStringLiteral("PMOY"), QStringLiteral("RSET"), QStringLiteral("SIGM"),
        QStringLiteral("TITL"), QStringLiteral("TMER"), QStringLiteral("UNHI"),
        QStringLiteral("UNHT"), QStringLiteral("XLAM"), QStringLiteral("XMTR"),
        QStringLiteral("XYZ"),  QStringLiteral("WGT"),  QStringLiteral("ZANG"),
    };
    keywords.reserve(codes.size());
    for (const QString &code : codes)
        keywords.append(code.trimmed());
}

void Highlighter::highlightBlock(const QString &text)
{
    if (text.isEmpty())
        return;

    const QChar first = text.at(0);
    if (first == QLatin1Char('#')) {
        // Only a directive followed by a blank and a file name counts as an include.
        static const QString include = QStringLiteral("#include");
        if (text.size() > 9 && text.startsWith(include))
            setFormat(0, include.size(), QColor(Qt::blue));
        return;
    }
    if (first != QLatin1Char(' ')) {
        setFormat(0, text.size(), QColor(Qt::darkGreen));
        return;
    }
    if (text.size() < 4)
        return;

    // Columns 2 to 5 hold the code; a reference avoids copying it while the user types.
    const QStringRef code = text.midRef(1, 4).trimmed();
    for (const QString &keyword : keywords) {
        if (code == keyword) {
            setFormat(1, code.size(), QColor(Qt::darkRed));
            return;
        }
    }
}
