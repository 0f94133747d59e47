#include "dialogbuttons.h"
#include "frmconvert.h"
#include "recordingengine.h"
#include "scriptedprompter.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QtTest>

namespace {} // namespace

// The import dialog through the recording engine: the options string and arguments of each call.
class tst_frmConvert : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void optionBoxesFollowTheKind_data();
    void optionBoxesFollowTheKind();
    void optionsStrings_data();
    void optionsStrings();
    void optionsResetOnKindChange();
    void typedOutputName();
    void nothingWithoutInputOrOutput();
    void missingEngine_data();
    void missingEngine();
    void engineRefusalShowsItsReason();
    void nothingWrittenIsNoConversion_data();
    void nothingWrittenIsNoConversion();
    void selectInputUsesTheKindsFilter();
    void selectOutput();

private:
    void selectInputs(const QStringList &files);
    QComboBox *kind() const { return m_dialog->findChild<QComboBox *>(QStringLiteral("kind")); }
    QCheckBox *box(const char *name) const { return m_dialog->findChild<QCheckBox *>(name); }
    QString status() const
    {
        return m_dialog->findChild<QLabel *>(QStringLiteral("status"))->text();
    }

    std::unique_ptr<ScriptedPrompter> m_prompter;
    std::unique_ptr<RecordingEngine> m_engine;
    std::unique_ptr<frmConvert> m_dialog;
};

void tst_frmConvert::init()
{
    m_prompter = std::make_unique<ScriptedPrompter>();
    m_engine = std::make_unique<RecordingEngine>();
    QVERIFY(m_engine->isValid());
    m_dialog = std::make_unique<frmConvert>();
}

void tst_frmConvert::cleanup()
{
    m_dialog.reset();
    m_engine.reset();
    m_prompter.reset();
}

void tst_frmConvert::selectInputs(const QStringList &files)
{
    m_prompter->files.enqueue(files);
    button(*m_dialog, QStringLiteral("Sélectionner..."), 0)->click();
}

void tst_frmConvert::optionBoxesFollowTheKind_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("kindText");
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("second");

    // An empty caption stands for a hidden box.
    QTest::newRow("Covadis") << 0 << "Importation d'une Géobase Covadis"
                             << ""
                             << "";
    QTest::newRow("Leica SKI") << 1 << "Importation de vecteurs GNSS au format Leica SKI"
                               << "Inclure les coordonnées des points"
                               << "Inclure un champs SIGM";
    QTest::newRow("RTKLib") << 2 << "Importation de vecteurs GNSS au format RTKLib"
                            << "Inclure les coordonnées des points"
                            << "Inclure un champs SIGM";
    QTest::newRow("Leica GSI") << 3 << "Importation de fichier Leica GSI"
                               << "Coordonnées en NEO"
                               << "";
}

void tst_frmConvert::optionBoxesFollowTheKind()
{
    QFETCH(int, index);
    QFETCH(QString, kindText);
    QFETCH(QString, first);
    QFETCH(QString, second);

    QCOMPARE(m_dialog->windowTitle(), QStringLiteral("Importation de données externes"));
    QCOMPARE(kind()->count(), 4);
    QCOMPARE(kind()->currentIndex(), 0);
    QCOMPARE(status(), QStringLiteral("-"));

    // Go through another kind first so that the change of index always happens.
    kind()->setCurrentIndex(index == 1 ? 3 : 1);
    kind()->setCurrentIndex(index);
    QCOMPARE(kind()->currentText(), kindText);
    QCOMPARE(box("firstOption")->isHidden(), first.isEmpty());
    QCOMPARE(box("secondOption")->isHidden(), second.isEmpty());
    if (!first.isEmpty())
        QCOMPARE(box("firstOption")->text(), first);
    if (!second.isEmpty())
        QCOMPARE(box("secondOption")->text(), second);
}

void tst_frmConvert::optionsStrings_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("files");
    QTest::addColumn<bool>("first");
    QTest::addColumn<bool>("second");
    QTest::addColumn<QStringList>("options");

    QTest::newRow("three GSI files in NEO")
        << 3 << 3 << true << false << QStringList{"ON", "OO", "OO"};
    QTest::newRow("GSI not in NEO") << 3 << 1 << false << false << QStringList{"NN"};
    QTest::newRow("one RTKLib file, coordinates only")
        << 2 << 1 << true << false << QStringList{"ONN"};
    QTest::newRow("two RTKLib files, SIGM only")
        << 2 << 2 << false << true << QStringList{"NON", "NOO"};
    QTest::newRow("two Covadis files") << 0 << 2 << false << false << QStringList{"N", "O"};
    QTest::newRow("Leica SKI, both options") << 1 << 2 << true << true << QStringList{"OON", "OOO"};
}

void tst_frmConvert::optionsStrings()
{
    QFETCH(int, index);
    QFETCH(int, files);
    QFETCH(bool, first);
    QFETCH(bool, second);
    QFETCH(QStringList, options);

    QStringList inputs;
    for (int i = 0; i < files; ++i)
        inputs.append(m_engine->folder() + QStringLiteral("/levé %1.dat").arg(i + 1));
    const QString output = m_engine->folder() + QStringLiteral("/réseau.iob");
    m_engine->writeOutput(" DIST S1 P1 P2 12.5\n");

    kind()->setCurrentIndex(index);
    box("firstOption")->setChecked(first);
    box("secondOption")->setChecked(second);
    selectInputs(inputs);
    m_prompter->files.enqueue({output});
    button(*m_dialog, QStringLiteral("Sélectionner..."), 1)->click();
    button(*m_dialog, QStringLiteral("Convertir"))->click();

    const QList<RecordedCall> calls = m_engine->calls();
    QCOMPARE(calls.size(), files);
    for (int i = 0; i < files; ++i) {
        const RecordedCall &call = calls.at(i);
        QCOMPARE(call.entryPoint, QStringLiteral("tavlodll_convert"));
        const QByteArray input = inputs.at(i).toLatin1();
        const QByteArray opts = options.at(i).toLatin1();
        QCOMPARE(call.integers,
                 (QList<qint32>{index + 1, qint32(input.size()), qint32(output.toLatin1().size()),
                                qint32(opts.size())}));
        QCOMPARE(call.texts, (QList<QByteArray>{input, output.toLatin1(), opts}));
    }
    QCOMPARE(status(), QStringLiteral("Conversion effectuée (%1)").arg(files));
}

void tst_frmConvert::optionsResetOnKindChange()
{
    kind()->setCurrentIndex(1);
    box("firstOption")->setChecked(true);
    box("secondOption")->setChecked(true);
    kind()->setCurrentIndex(2);
    QVERIFY(!box("firstOption")->isChecked());
    QVERIFY(!box("secondOption")->isChecked());

    selectInputs({QStringLiteral("/data/base.pos")});
    m_dialog->findChild<QLineEdit *>(QStringLiteral("output"))->setText("/data/out.iob");
    button(*m_dialog, QStringLiteral("Convertir"))->click();
    QCOMPARE(m_engine->calls().size(), 1);
    QCOMPARE(m_engine->calls().first().texts.value(2), QByteArray("NNN"));

    // The GSI kind hides the second box, unchecked, so it cannot leak into the options.
    box("secondOption")->setChecked(true);
    kind()->setCurrentIndex(3);
    QVERIFY(box("secondOption")->isHidden());
    QVERIFY(!box("secondOption")->isChecked());
}

void tst_frmConvert::typedOutputName()
{
    kind()->setCurrentIndex(3);
    selectInputs({QStringLiteral("/data/station.gsi")});
    const QString typed = QStringLiteral("  relevé du 12.iob");
    m_dialog->findChild<QLineEdit *>(QStringLiteral("output"))->setText(typed);
    button(*m_dialog, QStringLiteral("Convertir"))->click();

    QCOMPARE(m_engine->calls().size(), 1);
    const RecordedCall call = m_engine->calls().first();
    QCOMPARE(call.texts.value(1), typed.toLatin1());
    QCOMPARE(call.integers.value(2), qint32(typed.size()));
    // Only the input and output dialogs of the test were asked for: no save dialog.
    QCOMPARE(m_prompter->dialogs.size(), 1);
}

void tst_frmConvert::nothingWithoutInputOrOutput()
{
    auto *output = m_dialog->findChild<QLineEdit *>(QStringLiteral("output"));
    output->setText(QStringLiteral("/data/out.iob"));
    button(*m_dialog, QStringLiteral("Convertir"))->click();
    QCOMPARE(status(), QStringLiteral("-"));

    selectInputs({QStringLiteral("/data/a.geo")});
    output->clear();
    button(*m_dialog, QStringLiteral("Convertir"))->click();
    QCOMPARE(status(), QStringLiteral("-"));
    QVERIFY(m_engine->calls().isEmpty());
    QVERIFY(m_prompter->messages.isEmpty());

    // A cancelled file dialog keeps the list.
    button(*m_dialog, QStringLiteral("Sélectionner..."), 0)->click();
    output->setText(QStringLiteral("/data/out.iob"));
    button(*m_dialog, QStringLiteral("Convertir"))->click();
    QCOMPARE(m_engine->calls().size(), 1);
}

void tst_frmConvert::missingEngine_data()
{
    QTest::addColumn<bool>("noEntryPoint");
    QTest::newRow("library without the entry point") << true;
    QTest::newRow("file that is not a library") << false;
}

void tst_frmConvert::missingEngine()
{
    QFETCH(bool, noEntryPoint);

    QString library = RecordingEngine::noEntryLibraryPath();
    if (!noEntryPoint) {
        library = m_engine->folder() + QStringLiteral("/libtavlo.so");
        QFile file(library);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("not a library");
    }
    qputenv("TAVLO_ENGINE", QFile::encodeName(library));

    selectInputs({QStringLiteral("/data/a.geo"), QStringLiteral("/data/b.geo")});
    m_dialog->findChild<QLineEdit *>(QStringLiteral("output"))->setText("/data/out.iob");
    button(*m_dialog, QStringLiteral("Convertir"))->click();
    QVERIFY2(status().startsWith(QStringLiteral("Conversion non effectuée\na.geo : ")),
             qPrintable(status()));
    QVERIFY(m_prompter->messages.isEmpty());
}

void tst_frmConvert::engineRefusalShowsItsReason()
{
    // The engine writes no output and says why in the output's ".err" file, which is read,
    // shown as plain text and removed.
    const QString output = m_engine->folder() + QStringLiteral("/réseau.iob");
    const QString failure = output + QStringLiteral(".err");
    m_engine->setFailure("<b>Fichier GSI illisible : mot 41 inconnu \xe0 la ligne 3</b>");
    kind()->setCurrentIndex(3);
    selectInputs({QStringLiteral("/data/station.gsi")});
    m_dialog->findChild<QLineEdit *>(QStringLiteral("output"))->setText(output);
    button(*m_dialog, QStringLiteral("Convertir"))->click();

    QCOMPARE(status(),
             QStringLiteral("Conversion non effectuée\nstation.gsi : "
                            "<b>Fichier GSI illisible : mot 41 inconnu à la ligne 3</b>"));
    QCOMPARE(m_dialog->findChild<QLabel *>(QStringLiteral("status"))->textFormat(), Qt::PlainText);
    QVERIFY(!QFile::exists(failure));
    QVERIFY(!QFile::exists(output));

    // The next conversion succeeds and says so.
    m_engine->setFailure(QByteArray());
    m_engine->writeOutput(" DIST S1 P1 P2 12.5\n");
    button(*m_dialog, QStringLiteral("Convertir"))->click();
    QCOMPARE(status(), QStringLiteral("Conversion effectuée (1)"));
    QVERIFY(m_prompter->messages.isEmpty());
}

void tst_frmConvert::nothingWrittenIsNoConversion_data()
{
    QTest::addColumn<bool>("earlierOutput");
    QTest::newRow("no output") << false;
    QTest::newRow("an earlier import's output") << true;
}

void tst_frmConvert::nothingWrittenIsNoConversion()
{
    // An engine that writes nothing and reports nothing has not converted anything, whether an
    // earlier output is there or not; and while no file has been converted, no call may append
    // to what is there.
    QFETCH(bool, earlierOutput);
    const QString output = m_engine->folder() + QStringLiteral("/réseau.iob");
    if (earlierOutput) {
        QFile file(output);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(" DIST S1 P1 P2 12.5\n");
    }
    kind()->setCurrentIndex(3);
    selectInputs({QStringLiteral("/data/a.gsi"), QStringLiteral("/data/b.gsi"),
                  QStringLiteral("/data/c.gsi")});
    m_dialog->findChild<QLineEdit *>(QStringLiteral("output"))->setText(output);
    button(*m_dialog, QStringLiteral("Convertir"))->click();

    const QList<RecordedCall> calls = m_engine->calls();
    QCOMPARE(calls.size(), 3);
    for (const RecordedCall &call : calls)
        QCOMPARE(call.texts.value(2), QByteArray("NN"));
    const QStringList lines = status().split(QLatin1Char('\n'));
    QCOMPARE(lines.size(), 4);
    QCOMPARE(lines.at(0), QStringLiteral("Conversion non effectuée"));
    const QString reason = earlierOutput ? QStringLiteral(" n'a pas écrit le fichier ")
                                         : QStringLiteral(" n'a pas créé le fichier ");
    const QStringList names{"a.gsi", "b.gsi", "c.gsi"};
    for (int i = 0; i < names.size(); ++i) {
        const QString &line = lines.at(i + 1);
        QVERIFY2(line.startsWith(names.at(i) + " : ") && line.contains(reason + output),
                 qPrintable(line));
    }
}

void tst_frmConvert::selectInputUsesTheKindsFilter()
{
    const QStringList filters{
        "Geobase Covadis (*.geo);;Tous (*.*)", "Vecteur Ski (*.asc);;Tous (*.*)",
        "Vecteur RTKLib (*.pos);;Tous (*.*)", "Fichier Leica GSI (*.gsi);;Tous (*.*)"};
    for (int index = 0; index < filters.size(); ++index) {
        kind()->setCurrentIndex(index);
        selectInputs({QStringLiteral("/data/f%1").arg(index)});
        QCOMPARE(m_prompter->dialogs.last().kind, FileDialogKind::OpenFiles);
        QCOMPARE(m_prompter->dialogs.last().filter, filters.at(index));
    }

    // Choosing files replaces the list and resets the status.
    m_engine->writeOutput(" DIST S1 P1 P2 12.5\n");
    selectInputs({QStringLiteral("/data/a.gsi")});
    m_dialog->findChild<QLineEdit *>(QStringLiteral("output"))
        ->setText(m_engine->folder() + QStringLiteral("/out.iob"));
    button(*m_dialog, QStringLiteral("Convertir"))->click();
    QCOMPARE(status(), QStringLiteral("Conversion effectuée (1)"));
    selectInputs({QStringLiteral("/data/b.gsi"), QStringLiteral("/data/c.gsi")});
    QCOMPARE(status(), QStringLiteral("-"));
    auto *list = m_dialog->findChild<QListWidget *>(QStringLiteral("inputs"));
    QCOMPARE(list->count(), 2);
    QCOMPARE(list->item(0)->text(), QStringLiteral("/data/b.gsi"));
}

void tst_frmConvert::selectOutput()
{
    m_engine->writeOutput(" DIST S1 P1 P2 12.5\n");
    selectInputs({QStringLiteral("/data/a.geo")});
    m_dialog->findChild<QLineEdit *>(QStringLiteral("output"))
        ->setText(m_engine->folder() + QStringLiteral("/out.iob"));
    button(*m_dialog, QStringLiteral("Convertir"))->click();
    QCOMPARE(status(), QStringLiteral("Conversion effectuée (1)"));

    m_prompter->files.enqueue({QStringLiteral("/data/new.iob")});
    button(*m_dialog, QStringLiteral("Sélectionner..."), 1)->click();
    const FileDialogRequest request = m_prompter->dialogs.last();
    QCOMPARE(request.kind, FileDialogKind::SaveFile);
    QCOMPARE(request.caption, QStringLiteral("Fichier IOB à créer"));
    QCOMPARE(request.filter, QStringLiteral("Fichier IOB (*.iob)"));
    QCOMPARE(m_dialog->findChild<QLineEdit *>(QStringLiteral("output"))->text(),
             QStringLiteral("/data/new.iob"));
    QCOMPARE(status(), QStringLiteral("-"));
}

QTEST_MAIN(tst_frmConvert)
#include "tst_frmconvert.moc"
