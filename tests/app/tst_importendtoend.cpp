// Import end to end with the real engine library: a Leica GSI file converted from the import
// dialog opens in an editor window with colouring, and the engine processes it; converted SKI
// baselines are listed by the GNSS vector tool's reader.

#include "dialogbuttons.h"
#include "enginelibrary.h"
#include "ficreader.h"
#include "frmconvert.h"
#include "gnssvectors.h"
#include "mdichild.h"
#include "scriptedprompter.h"

#include <QComboBox>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextLayout>
#include <QtTest>

#include <cmath>

namespace {

constexpr double kGon = 3.14159265358979323846 / 200.0;

std::string word8(int index, const char *info, long long value)
{
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%02d%s%c%08lld", index, info, value < 0 ? '-' : '+',
                  value < 0 ? -value : value);
    return buffer;
}

std::string id8(const std::string &id)
{
    return "110001+" + std::string(8 - id.size(), '0') + id;
}

void writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
}

} // namespace

class TestImportEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { qputenv("TAVLO_ENGINE", QFile::encodeName(TAVLO_ENGINE_LIBRARY)); }
    void gsiConvertedOpensColouredAndProcesses();
    void skiBlocksListedByTheVectorTool();
};

void TestImportEndToEnd::gsiConvertedOpensColouredAndProcesses()
{
    QTemporaryDir dir;
    // A station on a known point, two known targets, two sets (the second in face two).
    const double se = 1000.0, sn = 2000.0, su = 100.0, hi = 1.5, ht = 1.6;
    struct Target
    {
        const char *name;
        double e, n, u;
    };
    const Target targets[] = {{"A", 1100.0, 2050.0, 103.0}, {"B", 950.0, 2120.0, 98.5}};
    std::string gsi = id8("S1") + " " + word8(84, "..10", 1000000) + " " +
                      word8(85, "..10", 2000000) + " " + word8(86, "..10", 100000) + " " +
                      word8(88, "..10", 1500) + "\r\n";
    for (const Target &t : targets)
        gsi += id8(t.name) + " " + word8(81, "..00", std::llround(t.e * 1000)) + " " +
               word8(82, "..00", std::llround(t.n * 1000)) + " " +
               word8(83, "..00", std::llround(t.u * 1000)) + "\r\n";
    for (int face = 1; face <= 2; ++face) {
        for (const Target &t : targets) {
            const double de = t.e - se, dn = t.n - sn, du = t.u + ht - su - hi;
            const double h = std::hypot(de, dn);
            double hz = std::atan2(de, dn) / kGon + (face == 2 ? 200.0 : 0.0);
            double v = std::atan2(h, du) / kGon;
            if (face == 2)
                v = 400.0 - v;
            hz = std::fmod(hz + 400.0, 400.0);
            gsi += id8(t.name) + " " + word8(21, ".102", std::llround(hz * 1e5)) + " " +
                   word8(22, ".102", std::llround(v * 1e5)) + " " +
                   word8(31, "..00", std::llround(std::hypot(h, du) * 1000)) + " " +
                   word8(87, "..00", std::llround(ht * 1000)) + "\r\n";
        }
    }
    const QString input = dir.filePath("station.gsi");
    const QString converted = dir.filePath("station.iob");
    writeFile(input, QByteArray::fromStdString(gsi));
    // The import dialog, kind "Importation de fichier Leica GSI", "Coordonnées en NEO" unchecked.
    {
        ScriptedPrompter prompter;
        frmConvert dialog;
        dialog.findChild<QComboBox *>()->setCurrentIndex(3);
        prompter.files.enqueue({input});
        button(dialog, QStringLiteral("Sélectionner..."), 0)->click();
        prompter.files.enqueue({converted});
        button(dialog, QStringLiteral("Sélectionner..."), 1)->click();
        button(dialog, QStringLiteral("Convertir"))->click();
    }
    QVERIFY(QFile::exists(converted));

    MdiChild child(true);
    QVERIFY(child.loadFile(converted));
    QVERIFY(child.hasSyntax());
    QCoreApplication::processEvents();
    bool colouredDirection = false;
    for (QTextBlock block = child.document()->begin(); block.isValid(); block = block.next()) {
        if (block.text().startsWith(" DIR ") && !block.layout()->formats().isEmpty())
            colouredDirection = true;
    }
    QVERIFY(colouredDirection);

    // The surveyor's precisions, then the converted file, processed by the engine.
    const QString master = dir.filePath("reseau.iob");
    writeFile(master,
              " SIGM HZ         3.0                                                          m\n"
              " SIGM ZEN        3.0                                                          m\n"
              " SIGM DST      0.002                                                          m\n"
              "#include station.iob\n");
    const QString configuration = dir.filePath("reseau.cfg");
    QVERIFY(EngineLibrary::runEngineNewCfg(configuration));
    QVERIFY(EngineLibrary::runEngineProcess(master, configuration));
    const FicResult result = readFic(dir.filePath("reseau.fic"), true);
    QFile log(dir.filePath("reseau.log"));
    QVERIFY(log.open(QIODevice::ReadOnly));
    // On failure, show the report's messages rather than its whole text.
    QByteArrayList messages;
    for (const QByteArray &line : log.readAll().split('\n')) {
        if (line.contains("ERREUR") || line.contains("ATTENTION"))
            messages.append(line);
    }
    QVERIFY2(result.status == 0, messages.join('\n').constData());
}

void TestImportEndToEnd::skiBlocksListedByTheVectorTool()
{
    QTemporaryDir dir;
    const QString input = dir.filePath("vecteurs.asc");
    const QString converted = dir.filePath("vecteurs.iob");
    writeFile(input, "@%Unit: m\n@%Coordinate type: Cartesian\n@%Reference ellipsoid: WGS 1984\n"
                     "@+BASE             4201234.5678   168543.2100  4779876.5432\n"
                     "@-ROVER1                123.4560     -45.6780       12.3450\n"
                     "@=  1.5 1.0e-6 2.0e-7 -1.0e-7 2.0e-6 3.0e-7 4.0e-6\n"
                     "@+BASE             4201234.5678   168543.2100  4779876.5432\n"
                     "@-ROVER2               -223.4560     145.6780      -22.3450\n"
                     "@=  0.8 3.0e-6 -1.0e-6 5.0e-7 2.5e-6 -4.0e-7 6.0e-6\n");
    QVERIFY(EngineLibrary::runEngineConvert(2, input, converted, "NNN"));
    QFile file(converted);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const GnssVectorSummary summary = readGnssVectors(QString::fromLatin1(file.readAll()));
    QCOMPARE(summary.baselines.size(), 2);
    QCOMPARE(summary.baselines[0].station, QString("BASE"));
    QCOMPARE(summary.baselines[0].target, QString("ROVER1"));
    QCOMPARE(summary.baselines[1].target, QString("ROVER2"));
    QVERIFY(summary.baselines[0].active && summary.baselines[1].active);
    // The converted headers leave the factor blank: the tool reads 0 and the engine applies 1.
    QCOMPARE(summary.factor, 0.0);
}

QTEST_MAIN(TestImportEndToEnd)
#include "tst_importendtoend.moc"
