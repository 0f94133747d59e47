// Opens a generated 100,000-line observation file in a coloured editor window and prints the time
// until the document is ready: text loaded, every line coloured, the window shown. Then prints
// what one keystroke costs in the middle of the file (the editor updates its layout and colours
// the line again).

#include "fieldformat.h"
#include "mdichild.h"
#include "recordcatalogue.h"
#include "recordline.h"
#include "textfile.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextLayout>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int kLineCount = 100000;
constexpr int kRuns = 3;
constexpr int kKeystrokes = 50;

QString recordLine(const RecordCatalogue &catalogue, const char *code, const QStringList &values)
{
    return buildRecordLine(catalogue.at(catalogue.indexOf(QLatin1String(code))), values).line;
}

// A survey-like mix: stations with directions, zenith angles and distances, coordinates,
// comments and a few includes.
QString generatedFile()
{
    const RecordCatalogue catalogue;
    QStringList lines;
    lines.reserve(kLineCount);
    lines.append(recordLine(catalogue, "TITL", {QStringLiteral("Reseau de test")}));
    for (int i = 1; lines.size() < kLineCount; ++i) {
        const QString station = QStringLiteral("ST%1").arg(i);
        const QString target = QStringLiteral("PT%1").arg(i + 1);
        switch (i % 10) {
        case 0:
            lines.append(QStringLiteral("! station %1").arg(station));
            break;
        case 1:
            lines.append(QStringLiteral("#include niv%1.iob").arg(i));
            break;
        case 2:
            lines.append(
                recordLine(catalogue, "PLH",
                           {"110", station, "N47 25 23.1454", "E6 12 54.7", "512.345", "m "}));
            break;
        case 3:
            lines.append(
                recordLine(catalogue, "XYZ",
                           {"000", station, "4321012.345", "512345.678", "4654321.012", "m "}));
            break;
        default:
            lines.append(
                recordLine(catalogue, "DIR", {"S01", station, target, "123 45 12.5", "3"}));
            lines.append(
                recordLine(catalogue, "ZANG", {"S02", station, target, "92 12 1.25", "5", "0.13"}));
            lines.append(
                recordLine(catalogue, "DIST", {"S03", station, target, "125.4521", "0.003", "m "}));
            break;
        }
    }
    lines.erase(lines.begin() + kLineCount, lines.end());
    return lines.join(QLatin1Char('\n'));
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.at(values.size() / 2);
}

// Lines that carry a colour: proof that the colouring pass reached the end of the document.
int colouredLines(const QTextDocument *document)
{
    int coloured = 0;
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        if (!block.layout()->formats().isEmpty())
            ++coloured;
    }
    return coloured;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("bench.iob"));
    QString error;
    if (!writeTextFile(path, {generatedFile(), LineEnding::Lf}, error)) {
        std::fprintf(stderr, "cannot write %s: %s\n", qPrintable(path), qPrintable(error));
        return 1;
    }

    std::vector<double> loadTimes;
    std::vector<double> readyTimes;
    std::vector<double> keystrokeTimes;
    int coloured = 0;
    for (int run = 0; run < kRuns; ++run) {
        MdiChild editor(true);
        editor.resize(1000, 700);

        QElapsedTimer timer;
        timer.start();
        if (!editor.loadFile(path))
            return 1;
        QCoreApplication::processEvents(); // a colouring pass queued by the highlighter
        loadTimes.push_back(timer.nsecsElapsed() / 1e6);
        editor.show();
        QCoreApplication::processEvents();
        readyTimes.push_back(timer.nsecsElapsed() / 1e6);
        coloured = colouredLines(editor.document());

        // Keystrokes in the middle of the file, each re-colouring its line.
        QTextCursor cursor(editor.document()->findBlockByNumber(kLineCount / 2));
        cursor.movePosition(QTextCursor::EndOfBlock);
        editor.setTextCursor(cursor);
        timer.restart();
        for (int i = 0; i < kKeystrokes; ++i) {
            editor.textCursor().insertText(QStringLiteral("x"));
            QCoreApplication::processEvents();
        }
        keystrokeTimes.push_back(timer.nsecsElapsed() / 1e6 / kKeystrokes);
        editor.document()->setModified(false); // no save question on closing
    }

    std::printf("observation file: %d lines, %d coloured\n", kLineCount, coloured);
    std::printf("load and colour: %.0f ms (median of %d)\n", median(loadTimes), kRuns);
    std::printf("document ready, window shown: %.0f ms (median of %d)\n", median(readyTimes),
                kRuns);
    std::printf("one keystroke in the middle: %.3f ms (mean of %d)\n", median(keystrokeTimes),
                kKeystrokes);
    return 0;
}
