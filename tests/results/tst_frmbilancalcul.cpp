#include "dialogbuttons.h"
#include "ficresult.h"
#include "ficwriter.h"
#include "frmbilancalcul.h"
#include "sharedhelpers.h"
#include "summaryrow.h"

#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

Q_DECLARE_METATYPE(FicResult)

namespace {

FicResult header(int status)
{
    FicResult r;
    r.fileName = QStringLiteral("reseau.fic");
    r.status = status;
    r.calculationType = QStringLiteral("AJUSTEMENT");
    r.observationCount = 250;
    r.unknownCount = 42;
    r.iterationCount = 3;
    r.varianceFactor = 1.0234567;
    r.chiSquareResult = ChiSquareOutcome::Passed;
    return r;
}

QTableWidget *table(const QWidget &dialog)
{
    return dialog.findChild<QTableWidget *>();
}

QStringList cellTexts(const QTableWidget *t, int row)
{
    QStringList texts;
    for (int c = 0; c < t->columnCount(); ++c)
        texts.append(t->item(row, c)->text());
    return texts;
}

} // namespace

class tst_frmBilanCalcul : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void rowTexts_data();
    void rowTexts();

    void layout();
    void emptyList();
    void rowsFromFiles();
    void stateColoursArePainted();
    void epochNamesOfTheSelectedRow();
    void failedGlobalTestInWarningColour();
    void resultNotWrittenByTheRunShownMissing();
    void sameBaseNameInTwoFolders();
    void buttonStates_data();
    void buttonStates();
    void showInfosOnRow2();
    void showLogEmitsAndCloses();
    void quitEmitsNothing();

private:
    QString observationFile(const QString &name, const FicWriter *result);

    std::unique_ptr<QTemporaryDir> m_dir;
};

void tst_frmBilanCalcul::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

// An observation file path whose result file beside it holds `result` (none when null).
QString tst_frmBilanCalcul::observationFile(const QString &name, const FicWriter *result)
{
    const QString path = m_dir->filePath(name);
    QDir().mkpath(QFileInfo(path).absolutePath());
    if (result)
        result->write(siblingPath(path, QStringLiteral(".fic")));
    return path;
}

void tst_frmBilanCalcul::rowTexts_data()
{
    QTest::addColumn<FicResult>("result");
    QTest::addColumn<QStringList>("texts");

    const QStringList allNone{"-", "-", "-", "-", "-", "-"};
    QTest::newRow("success") << header(0)
                             << QStringList{"reseau.fic", "OK",      "AJUSTEMENT", "250",
                                            "42",         "1.02346", "OK",         "3"};
    FicResult r = header(0);
    r.varianceFactor = 0;
    r.chiSquareResult = ChiSquareOutcome::NotTested;
    QTest::newRow("variance 0, chi-square 2")
        << r << QStringList{"reseau.fic", "OK", "AJUSTEMENT", "250", "42", "-", "-", "3"};
    r = header(0);
    r.unknownCount = 0;
    r.iterationCount = 0;
    r.chiSquareResult = ChiSquareOutcome::Failed;
    QTest::newRow("0 unknowns, 0 iterations, chi-square failed")
        << r << QStringList{"reseau.fic", "OK", "AJUSTEMENT", "250", "-", "1.02346", "NON", "0"};
    r = header(0);
    r.observationCount = -3;
    r.varianceFactor = -1;
    r.chiSquareResult = ChiSquareOutcome::NotTested;
    r.calculationType.clear();
    QTest::newRow("negative values")
        << r << QStringList{"reseau.fic", "OK", "", "-", "42", "-", "-", "3"};
    r = header(0);
    r.varianceFactor = 1234567.0;
    QTest::newRow("large variance")
        << r
        << QStringList{"reseau.fic", "OK", "AJUSTEMENT", "250", "42", "1.23457e+06", "OK", "3"};
    r.varianceFactor = 0.000012345678;
    QTest::newRow("small variance")
        << r
        << QStringList{"reseau.fic", "OK", "AJUSTEMENT", "250", "42", "1.23457e-05", "OK", "3"};
    r.varianceFactor = qQNaN();
    QTest::newRow("variance not a number")
        << r << QStringList{"reseau.fic", "OK", "AJUSTEMENT", "250", "42", "-", "OK", "3"};
    QTest::newRow("failed run") << header(1) << QStringList{"reseau.fic", "Voir LOG"} + allNone;
    QTest::newRow("unreadable") << header(2) << QStringList{"reseau.fic", "FIC"} + allNone;
    QTest::newRow("other failure") << header(-4) << QStringList{"reseau.fic", "FIC"} + allNone;
}

void tst_frmBilanCalcul::rowTexts()
{
    QFETCH(FicResult, result);
    QFETCH(QStringList, texts);
    QCOMPARE(summaryRowTexts(result), texts);
}

void tst_frmBilanCalcul::layout()
{
    frmBilanCalcul dialog{QStringList()};
    dialog.show();
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Bilan de traitement"));
    QVERIFY(!dialog.parent());
    const QTableWidget *t = table(dialog);
    QCOMPARE(t->columnCount(), 8);
    QStringList headers;
    for (int c = 0; c < 8; ++c)
        headers.append(t->horizontalHeaderItem(c)->text());
    QCOMPARE(headers, (QStringList{"Fichier", "Etat", "Calcul", "Nb Obs.", "Nb Inc.", "Variance",
                                   "Chi-deux", "Nb iter"}));
    QCOMPARE(t->selectionBehavior(), QAbstractItemView::SelectRows);
    QCOMPARE(t->editTriggers(), QAbstractItemView::NoEditTriggers);
    QVERIFY(t->minimumWidth() >= 800);

    // The buttons stand in this order, left to right, under the table.
    QList<QPushButton *> buttons = dialog.findChildren<QPushButton *>();
    std::sort(buttons.begin(), buttons.end(),
              [](QPushButton *a, QPushButton *b) { return a->geometry().x() < b->geometry().x(); });
    QStringList captions;
    for (QPushButton *b : buttons) {
        captions.append(b->text());
        QVERIFY(b->geometry().top() > t->geometry().bottom());
    }
    QCOMPARE(captions, (QStringList{"Quitter", "Voir Log", "Plus d'infos"}));
}

void tst_frmBilanCalcul::emptyList()
{
    frmBilanCalcul dialog{QStringList()};
    dialog.show();
    QCOMPARE(table(dialog)->rowCount(), 0);
    QVERIFY(button(dialog, "Quitter")->isEnabled());
    QVERIFY(!button(dialog, "Voir Log")->isEnabled());
    QVERIFY(!button(dialog, "Plus d'infos")->isEnabled());

    QSignalSpy logSpy(&dialog, &frmBilanCalcul::goShowLog);
    QSignalSpy ficSpy(&dialog, &frmBilanCalcul::goShowFic);
    dialog.showLog();
    dialog.showInfos();
    QVERIFY(logSpy.isEmpty());
    QVERIFY(ficSpy.isEmpty());
}

void tst_frmBilanCalcul::rowsFromFiles()
{
    FicWriter ok = FicWriter::sample(12);
    FicWriter failed = ok;
    failed.status = 1;
    const QStringList files{observationFile("net.old.iob", &ok),
                            observationFile("echec.iob", &failed),
                            observationFile("absent.iob", nullptr)};
    const frmBilanCalcul dialog(files);
    const QTableWidget *t = table(dialog);
    QCOMPARE(t->rowCount(), 3);
    QCOMPARE(cellTexts(t, 0),
             (QStringList{"net.old.fic", "OK", "AJUSTEMENT", "12", "60", "1.0234", "OK", "3"}));
    QCOMPARE(cellTexts(t, 1), (QStringList{"echec.fic", "Voir LOG", "-", "-", "-", "-", "-", "-"}));
    QCOMPARE(cellTexts(t, 2), (QStringList{"absent.fic", "FIC", "-", "-", "-", "-", "-", "-"}));

    const QColor colours[] = {Qt::green, Qt::yellow, Qt::red};
    for (int row = 0; row < 3; ++row) {
        QCOMPARE(t->item(row, 1)->background().color(), colours[row]);
        for (int c = 0; c < 8; ++c)
            QVERIFY(!(t->item(row, c)->flags() & Qt::ItemIsEditable));
    }
}

void tst_frmBilanCalcul::stateColoursArePainted()
{
    FicWriter ok = FicWriter::sample(3);
    FicWriter failed = ok;
    failed.status = 1;
    const QStringList files{observationFile("a.iob", &ok), observationFile("b.iob", &failed),
                            observationFile("c.iob", nullptr)};
    frmBilanCalcul dialog(files);
    dialog.resize(900, 300);
    dialog.show();
    QTableWidget *t = table(dialog);
    // The state keeps its colour on the selected row.
    QCOMPARE(t->selectedItems().first()->row(), 0);
    QImage image(t->viewport()->size(), QImage::Format_RGB32);
    t->viewport()->render(&image);

    const QColor colours[] = {Qt::green, Qt::yellow, Qt::red};
    for (int row = 0; row < 3; ++row) {
        const QRect cell = t->visualItemRect(t->item(row, 1));
        // Near the cell's left edge, clear of the grid line and of the text.
        QCOMPARE(image.pixelColor(cell.left() + 3, cell.top() + 3), colours[row]);
        QCOMPARE(image.pixelColor(cell.right() - 3, cell.bottom() - 3), colours[row]);
    }
    // The rest of the selected row shows the selection, the other rows do not.
    const QColor highlight = t->palette().color(QPalette::Active, QPalette::Highlight);
    const QRect selectedName = t->visualItemRect(t->item(0, 0));
    const QRect otherName = t->visualItemRect(t->item(1, 0));
    QCOMPARE(image.pixelColor(selectedName.left() + 3, selectedName.top() + 3), highlight);
    QVERIFY(image.pixelColor(otherName.left() + 3, otherName.top() + 3) != highlight);
}

void tst_frmBilanCalcul::epochNamesOfTheSelectedRow()
{
    FicWriter epochs = FicWriter::sample(3);
    epochs.epochCount = 2;
    epochs.trailer = FicWriter::text(QStringLiteral("EPOQUES")) + FicWriter::i64(2) +
                     FicWriter::text(QStringLiteral("Mars")) +
                     FicWriter::text(QStringLiteral("Crue d'été"));
    const FicWriter single = FicWriter::sample(3);
    frmBilanCalcul dialog(
        {observationFile("barrage.iob", &epochs), observationFile("seule.iob", &single)});
    dialog.show();
    const auto *names = dialog.findChild<QLabel *>(QStringLiteral("epochNames"));
    QVERIFY(names);
    QVERIFY(names->isVisible());
    QCOMPARE(names->text(),
             QStringLiteral("Epoques de barrage.fic : 1 « Mars », 2 « Crue d'été »"));
    QVERIFY(names->geometry().top() > table(dialog)->geometry().bottom());
    table(dialog)->selectRow(1);
    QVERIFY(!names->isVisible());
}

void tst_frmBilanCalcul::failedGlobalTestInWarningColour()
{
    // "NON" keeps its text and takes the yellow of "Voir LOG", on the selected row too; a
    // passed test, or a run without outcome, stays plain.
    FicWriter failedTest = FicWriter::sample(3);
    failedTest.chiSquareResult = 0;
    FicWriter passedTest = failedTest;
    passedTest.chiSquareResult = 1;
    FicWriter noOutcome = failedTest;
    noOutcome.chiSquareResult = 2;
    const QStringList files{observationFile("a.iob", &failedTest),
                            observationFile("b.iob", &passedTest),
                            observationFile("c.iob", &noOutcome)};
    frmBilanCalcul dialog(files);
    dialog.resize(900, 300);
    dialog.show();
    QTableWidget *t = table(dialog);
    QCOMPARE(t->selectedItems().first()->row(), 0);
    QImage image(t->viewport()->size(), QImage::Format_RGB32);
    t->viewport()->render(&image);

    const QColor yellow(Qt::yellow);
    QCOMPARE(t->item(0, 6)->text(), QStringLiteral("NON"));
    QCOMPARE(t->item(0, 1)->text(), QStringLiteral("OK"));
    QCOMPARE(t->item(0, 1)->background().color(), QColor(Qt::green));
    QCOMPARE(t->item(0, 6)->background().color(), yellow);
    const QRect failedCell = t->visualItemRect(t->item(0, 6));
    QCOMPARE(image.pixelColor(failedCell.right() - 3, failedCell.bottom() - 3), yellow);
    for (int row : {1, 2}) {
        QCOMPARE(t->item(row, 6)->background().style(), Qt::NoBrush);
        const QRect cell = t->visualItemRect(t->item(row, 6));
        QVERIFY(image.pixelColor(cell.right() - 3, cell.bottom() - 3) != yellow);
    }
}

void tst_frmBilanCalcul::resultNotWrittenByTheRunShownMissing()
{
    // Result files the run did not write are an earlier run's, however good they look.
    FicWriter ok = FicWriter::sample(4);
    const QStringList files{observationFile("a.iob", &ok), observationFile("b.iob", &ok),
                            observationFile("c.iob", &ok)};
    frmBilanCalcul dialog(files, {true, false});
    dialog.show();
    QTableWidget *t = table(dialog);
    QCOMPARE(cellTexts(t, 0).at(1), QStringLiteral("OK"));
    QCOMPARE(cellTexts(t, 1), (QStringList{"b.fic", "FIC", "-", "-", "-", "-", "-", "-"}));
    QCOMPARE(t->item(1, 1)->background().color(), QColor(Qt::red));
    QVERIFY(t->item(1, 1)->toolTip().contains(QStringLiteral("traitement précédent")));
    QCOMPARE(cellTexts(t, 2).at(1), QStringLiteral("OK"));

    t->selectRow(1);
    QVERIFY(!button(dialog, "Voir Log")->isEnabled());
    QVERIFY(!button(dialog, "Plus d'infos")->isEnabled());
}

void tst_frmBilanCalcul::sameBaseNameInTwoFolders()
{
    FicWriter first = FicWriter::sample(5);
    FicWriter second = FicWriter::sample(7);
    const QStringList files{observationFile("nord/reseau.iob", &first),
                            observationFile("sud/reseau.iob", &second)};
    const frmBilanCalcul dialog(files);
    const QTableWidget *t = table(dialog);
    QCOMPARE(t->item(0, 0)->text(), QStringLiteral("reseau.fic"));
    QCOMPARE(t->item(1, 0)->text(), QStringLiteral("reseau.fic"));
    QCOMPARE(t->item(0, 3)->text(), QStringLiteral("5"));
    QCOMPARE(t->item(1, 3)->text(), QStringLiteral("7"));
}

void tst_frmBilanCalcul::buttonStates_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<bool>("logEnabled");
    QTest::addColumn<bool>("infoEnabled");
    QTest::newRow("OK") << 0 << true << true;
    QTest::newRow("Voir LOG") << 1 << true << false;
    QTest::newRow("FIC") << 2 << false << false;
}

void tst_frmBilanCalcul::buttonStates()
{
    QFETCH(int, row);
    QFETCH(bool, logEnabled);
    QFETCH(bool, infoEnabled);

    FicWriter ok = FicWriter::sample(3);
    FicWriter failed = ok;
    failed.status = 1;
    // The row of interest is not the first, so selecting it is what sets the buttons.
    QStringList files{observationFile("a.iob", &ok), observationFile("b.iob", &failed),
                      observationFile("c.iob", nullptr)};
    files.prepend(files.at((row + 1) % 3));
    frmBilanCalcul dialog(files);
    dialog.show();
    QTableWidget *t = table(dialog);
    QCOMPARE(t->selectedItems().first()->row(), 0);

    QTest::mouseClick(t->viewport(), Qt::LeftButton, {},
                      t->visualItemRect(t->item(row + 1, 3)).center());
    QCOMPARE(t->selectedItems().first()->row(), row + 1);
    QVERIFY(button(dialog, "Quitter")->isEnabled());
    QCOMPARE(button(dialog, "Voir Log")->isEnabled(), logEnabled);
    QCOMPARE(button(dialog, "Plus d'infos")->isEnabled(), infoEnabled);
}

void tst_frmBilanCalcul::showInfosOnRow2()
{
    FicWriter ok = FicWriter::sample(3);
    const QStringList files{observationFile("a.iob", &ok), observationFile("b.iob", &ok),
                            observationFile("c.iob", &ok)};
    frmBilanCalcul dialog(files);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QSignalSpy logSpy(&dialog, &frmBilanCalcul::goShowLog);
    QSignalSpy ficSpy(&dialog, &frmBilanCalcul::goShowFic);

    table(dialog)->selectRow(2);
    QTest::mouseClick(button(dialog, "Plus d'infos"), Qt::LeftButton);
    QCOMPARE(ficSpy.count(), 1);
    QCOMPARE(ficSpy.first().first().toInt(), 2);
    QVERIFY(logSpy.isEmpty());
    QVERIFY(!dialog.isVisible());
}

void tst_frmBilanCalcul::showLogEmitsAndCloses()
{
    FicWriter failed = FicWriter::sample(3);
    failed.status = 1;
    const QStringList files{observationFile("a.iob", nullptr), observationFile("b.iob", &failed)};
    frmBilanCalcul dialog(files);
    dialog.show();
    QSignalSpy logSpy(&dialog, &frmBilanCalcul::goShowLog);
    QSignalSpy ficSpy(&dialog, &frmBilanCalcul::goShowFic);

    table(dialog)->selectRow(1);
    QTest::mouseClick(button(dialog, "Voir Log"), Qt::LeftButton);
    QCOMPARE(logSpy.count(), 1);
    QCOMPARE(logSpy.first().first().toInt(), 1);
    QVERIFY(ficSpy.isEmpty());
    QVERIFY(!dialog.isVisible());
}

void tst_frmBilanCalcul::quitEmitsNothing()
{
    FicWriter ok = FicWriter::sample(3);
    frmBilanCalcul dialog(QStringList{observationFile("a.iob", &ok)});
    dialog.show();
    QSignalSpy logSpy(&dialog, &frmBilanCalcul::goShowLog);
    QSignalSpy ficSpy(&dialog, &frmBilanCalcul::goShowFic);
    QTest::mouseClick(button(dialog, "Quitter"), Qt::LeftButton);
    QVERIFY(!dialog.isVisible());
    QVERIFY(logSpy.isEmpty());
    QVERIFY(ficSpy.isEmpty());
}

QTEST_MAIN(tst_frmBilanCalcul)
#include "tst_frmbilancalcul.moc"
