#include "dialogbuttons.h"
#include "frmgeoid.h"
#include "recordingengine.h"
#include "scriptedprompter.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

namespace {} // namespace

// The geoid dialog through the recording engine.
class tst_frmGeoid : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void typedNamesTwiceInARow();
    void nothingWithAnEmptyName_data();
    void nothingWithAnEmptyName();
    void missingEngine();
    void engineRefusalShowsItsReason();
    void earlierOutputLeftInPlace();
    void fileDialogs();

private:
    QLineEdit *edit(const char *name) const { return m_dialog->findChild<QLineEdit *>(name); }
    QString status() const
    {
        return m_dialog->findChild<QLabel *>(QStringLiteral("status"))->text();
    }
    void convert() { button(*m_dialog, QStringLiteral("Convertir"))->click(); }

    std::unique_ptr<ScriptedPrompter> m_prompter;
    std::unique_ptr<RecordingEngine> m_engine;
    std::unique_ptr<frmGeoid> m_dialog;
};

void tst_frmGeoid::init()
{
    m_prompter = std::make_unique<ScriptedPrompter>();
    m_engine = std::make_unique<RecordingEngine>();
    QVERIFY(m_engine->isValid());
    m_dialog = std::make_unique<frmGeoid>();
}

void tst_frmGeoid::cleanup()
{
    m_dialog.reset();
    m_engine.reset();
    m_prompter.reset();
}

void tst_frmGeoid::typedNamesTwiceInARow()
{
    QCOMPARE(m_dialog->windowTitle(), QStringLiteral("Création d'un fichier de géoïde pour Tavlo"));
    QCOMPARE(status(), QStringLiteral("-"));
    const QString input = QStringLiteral(" grille géoïde 2015.txt");
    const QString output = m_engine->folder() + QStringLiteral("/géoïde RAF15 .geo");
    m_engine->writeOutput("GEOIDE\n");
    edit("input")->setText(input);
    edit("output")->setText(output);

    convert();
    QCOMPARE(status(), QStringLiteral("Conversion effectuée"));
    convert();
    QCOMPARE(status(), QStringLiteral("Conversion effectuée"));

    const QList<RecordedCall> calls = m_engine->calls();
    QCOMPARE(calls.size(), 2);
    for (const RecordedCall &call : calls) {
        QCOMPARE(call.entryPoint, QStringLiteral("tavlodll_geoid"));
        QCOMPARE(call.integers, (QList<qint32>{qint32(input.size()), qint32(output.size())}));
        QCOMPARE(call.texts, (QList<QByteArray>{input.toLatin1(), output.toLatin1()}));
    }
    QVERIFY(m_prompter->dialogs.isEmpty());
    QCOMPARE(edit("input")->text(), input);
    QCOMPARE(edit("output")->text(), output);
}

void tst_frmGeoid::nothingWithAnEmptyName_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("output");
    QTest::newRow("no input") << ""
                              << "/data/g.geo";
    QTest::newRow("no output") << "/data/grid.txt"
                               << "";
    QTest::newRow("neither") << ""
                             << "";
}

void tst_frmGeoid::nothingWithAnEmptyName()
{
    QFETCH(QString, input);
    QFETCH(QString, output);

    // The status keeps its text, whatever it was.
    m_engine->writeOutput("GEOIDE\n");
    edit("input")->setText(QStringLiteral("/data/grid.txt"));
    edit("output")->setText(m_engine->folder() + QStringLiteral("/g.geo"));
    convert();
    m_engine->clearCalls();

    edit("input")->setText(input);
    edit("output")->setText(output);
    convert();
    QVERIFY(m_engine->calls().isEmpty());
    QCOMPARE(status(), QStringLiteral("Conversion effectuée"));
    QVERIFY(m_prompter->messages.isEmpty());
}

void tst_frmGeoid::missingEngine()
{
    qputenv("TAVLO_ENGINE", QFile::encodeName(RecordingEngine::noEntryLibraryPath()));
    edit("input")->setText(QStringLiteral("/data/grid.txt"));
    edit("output")->setText(QStringLiteral("/data/g.geo"));
    convert();
    QVERIFY2(status().startsWith(QStringLiteral("Conversion non effectuée\nMoteur de calcul ")),
             qPrintable(status()));
    QVERIFY(m_prompter->messages.isEmpty());
}

void tst_frmGeoid::engineRefusalShowsItsReason()
{
    // An observation file given as the grid: the engine writes no grid but its reason, in the
    // output's ".err" file, which is shown and removed.
    const QString output = m_engine->folder() + QStringLiteral("/grille.geo");
    m_engine->setFailure("Grille de g\xe9o\xef"
                         "de non reconnue : /data/reseau.iob");
    edit("input")->setText(QStringLiteral("/data/reseau.iob"));
    edit("output")->setText(output);
    convert();
    QCOMPARE(status(), QStringLiteral("Conversion non effectuée\n"
                                      "Grille de géoïde non reconnue : /data/reseau.iob"));
    QVERIFY(!QFile::exists(output + QStringLiteral(".err")));
    QVERIFY(!QFile::exists(output));
    QVERIFY(m_prompter->messages.isEmpty());
}

void tst_frmGeoid::earlierOutputLeftInPlace()
{
    // The grid of an earlier conversion is there; an engine that leaves it untouched without a
    // word has converted nothing.
    const QString output = m_engine->folder() + QStringLiteral("/grille.geo");
    QFile file(output);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("GEOIDE\n");
    file.close();
    edit("input")->setText(QStringLiteral("/data/grille.txt"));
    edit("output")->setText(output);
    convert();
    QCOMPARE(status(), QStringLiteral("Conversion non effectuée\nLe moteur de calcul n'a pas écrit "
                                      "le fichier ") +
                           output + QLatin1Char('.'));

    m_engine->writeOutput("GEOIDE\n"); // the same bytes, written again
    convert();
    QCOMPARE(status(), QStringLiteral("Conversion effectuée"));
}

void tst_frmGeoid::fileDialogs()
{
    m_engine->writeOutput("GEOIDE\n");
    edit("input")->setText(QStringLiteral("/data/grid.txt"));
    edit("output")->setText(QStringLiteral("/data/g.geo"));
    convert();

    m_prompter->files.enqueue({QStringLiteral("/data/autre grille.gra")});
    button(*m_dialog, QStringLiteral("Sélectionner..."), 0)->click();
    FileDialogRequest request = m_prompter->dialogs.last();
    QCOMPARE(request.kind, FileDialogKind::OpenFile);
    QCOMPARE(request.caption, QStringLiteral("Sélection du fichier de Geoïde"));
    QCOMPARE(request.filter, QStringLiteral("Fichier Geoïde (*.*)"));
    QCOMPARE(edit("input")->text(), QStringLiteral("/data/autre grille.gra"));
    QCOMPARE(status(), QStringLiteral("-"));

    convert();
    const QString created = m_engine->folder() + QStringLiteral("/nouveau.geo");
    m_prompter->files.enqueue({m_engine->folder() + QStringLiteral("/nouveau")});
    button(*m_dialog, QStringLiteral("Sélectionner..."), 1)->click();
    request = m_prompter->dialogs.last();
    QCOMPARE(request.kind, FileDialogKind::SaveFile);
    QCOMPARE(request.caption, QStringLiteral("Fichier Geoïde Tavlo à créer"));
    QCOMPARE(request.filter, QStringLiteral("Fichier Geoïde (*.geo)"));
    QCOMPARE(edit("output")->text(), created);
    QCOMPARE(status(), QStringLiteral("-"));

    // Cancelled dialogs change nothing.
    convert();
    button(*m_dialog, QStringLiteral("Sélectionner..."), 0)->click();
    button(*m_dialog, QStringLiteral("Sélectionner..."), 1)->click();
    QCOMPARE(edit("input")->text(), QStringLiteral("/data/autre grille.gra"));
    QCOMPARE(edit("output")->text(), created);
    QCOMPARE(status(), QStringLiteral("Conversion effectuée"));
}

QTEST_MAIN(tst_frmGeoid)
#include "tst_frmgeoid.moc"
