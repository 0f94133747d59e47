#include "dialogbuttons.h"
#include "filesizelimit.h"
#include "frmvecteurgnss.h"
#include "gnsstestfile.h"
#include "scriptedprompter.h"
#include "testfiles.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QtTest>

namespace {

const QChar kBlank(QLatin1Char(' '));

void writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), qint64(bytes.size()));
}

} // namespace

class tst_frmVecteurGNSS : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void showsBaselines();
    void validateRewrites();
    void decimalCommaAccepted();
    void nonNumberRefused_data();
    void nonNumberRefused();
    void cancelLeavesFile();
    void unreadableFileNeverRewritten();
    void writeFailureKeepsOldFile();

private:
    QTemporaryDir m_dir;
    QString m_path;
    QByteArray m_original;
};

void tst_frmVecteurGNSS::init()
{
    QVERIFY(m_dir.isValid());
    m_path = m_dir.filePath(QStringLiteral("reseau.iob"));
    const QString text = QStringLiteral("! Réseau GNSS de contrôle\n") +
                         gnssBlock(kBlank, "BASE", "R101", "     2.000", "     1.000") +
                         gnssBlock('*', "BASE", "R102", "     2.000", "     1.000") +
                         gnssBlock(kBlank, "R101", "R102", "     2.000", "     1.000");
    m_original = text.toLatin1().replace("\n", "\r\n");
    writeBytes(m_path, m_original);
}

void tst_frmVecteurGNSS::showsBaselines()
{
    frmVecteurGNSS dialog(m_path);
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Gestion des vecteurs GNSS"));
    auto *table = dialog.findChild<QTableWidget *>(QStringLiteral("baselines"));
    QVERIFY(table);
    QCOMPARE(table->rowCount(), 3);
    const QStringList stations{"BASE", "BASE", "R101"};
    const QStringList targets{"R101", "R102", "R102"};
    const QList<Qt::CheckState> states{Qt::Checked, Qt::Unchecked, Qt::Checked};
    for (int row = 0; row < 3; ++row) {
        QCOMPARE(table->item(row, 0)->text(), stations.at(row));
        QCOMPARE(table->item(row, 1)->text(), targets.at(row));
        QCOMPARE(table->item(row, 0)->checkState(), states.at(row));
        QVERIFY(!(table->item(row, 0)->flags() & Qt::ItemIsEditable));
    }
    QCOMPARE(dialog.findChild<QLineEdit *>(QStringLiteral("factor"))->text(),
             QStringLiteral("     2.000"));
    QCOMPARE(dialog.findChild<QLineEdit *>(QStringLiteral("ppm"))->text(),
             QStringLiteral("     1.000"));
}

void tst_frmVecteurGNSS::validateRewrites()
{
    ScriptedPrompter prompter;
    frmVecteurGNSS dialog(m_path);
    auto *table = dialog.findChild<QTableWidget *>(QStringLiteral("baselines"));
    table->item(0, 0)->setCheckState(Qt::Unchecked);
    table->item(1, 0)->setCheckState(Qt::Checked);
    dialog.findChild<QLineEdit *>(QStringLiteral("factor"))->setText(QStringLiteral("1"));
    dialog.findChild<QLineEdit *>(QStringLiteral("ppm"))->setText(QStringLiteral("0"));
    button(dialog, QStringLiteral("Valider"))->click();

    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QVERIFY(prompter.messages.isEmpty());
    const QByteArray written = fileBytes(m_path);
    // Latin-1 and CRLF line ends kept, the final line end too.
    QVERIFY(written.startsWith("! R\xe9seau GNSS de contr\xf4le\r\n"));
    QVERIFY(written.endsWith("\r\n"));
    QVERIFY(!written.contains("\r\r"));
    const QList<QByteArray> lines = written.split('\n');
    QCOMPARE(lines.size(), 1 + 3 * 6 + 1);
    for (int i = 1; i <= 18; ++i) {
        const QByteArray &line = lines.at(i);
        QCOMPARE(line.at(0), i <= 6 ? '*' : ' ');
        if (line.mid(1, 4) == "COV ") {
            QCOMPARE(line.mid(25, 10), QByteArray(10, ' '));
            QCOMPARE(line.mid(58, 10), QByteArray(10, ' '));
        }
    }
}

void tst_frmVecteurGNSS::decimalCommaAccepted()
{
    ScriptedPrompter prompter;
    frmVecteurGNSS dialog(m_path);
    dialog.findChild<QLineEdit *>(QStringLiteral("factor"))->setText(QStringLiteral("1,5"));
    dialog.findChild<QLineEdit *>(QStringLiteral("ppm"))->setText(QStringLiteral(" 0,25 "));
    button(dialog, QStringLiteral("Valider"))->click();

    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    const QList<QByteArray> lines = fileBytes(m_path).split('\n');
    int headers = 0;
    for (const QByteArray &line : lines) {
        if (line.mid(1, 4) != "COV ")
            continue;
        ++headers;
        QCOMPARE(line.mid(25, 10), QByteArray("     1.500"));
        QCOMPARE(line.mid(58, 10), QByteArray("     0.250"));
    }
    QCOMPARE(headers, 3);
}

void tst_frmVecteurGNSS::nonNumberRefused_data()
{
    QTest::addColumn<QString>("factor");
    QTest::addColumn<QString>("ppm");
    QTest::addColumn<QString>("fieldName");

    QTest::newRow("factor letters") << "abc"
                                    << "0"
                                    << "Facteur multiplicatif (tout)";
    QTest::newRow("factor empty") << ""
                                  << "0"
                                  << "Facteur multiplicatif (tout)";
    QTest::newRow("factor too wide") << "12345678"
                                     << "0"
                                     << "Facteur multiplicatif (tout)";
    QTest::newRow("PPM letters") << "1"
                                 << "1.5 ppm"
                                 << "PPM (diagonale)";
    QTest::newRow("PPM empty") << "2"
                               << ""
                               << "PPM (diagonale)";
}

void tst_frmVecteurGNSS::nonNumberRefused()
{
    QFETCH(QString, factor);
    QFETCH(QString, ppm);
    QFETCH(QString, fieldName);

    ScriptedPrompter prompter;
    frmVecteurGNSS dialog(m_path);
    dialog.findChild<QLineEdit *>(QStringLiteral("factor"))->setText(factor);
    dialog.findChild<QLineEdit *>(QStringLiteral("ppm"))->setText(ppm);
    button(dialog, QStringLiteral("Valider"))->click();

    QCOMPARE(prompter.messages.size(), 1);
    QCOMPARE(prompter.messages.first().kind, MessageKind::Warning);
    QCOMPARE(prompter.messages.first().title, QStringLiteral("Gestion des vecteurs GNSS"));
    QVERIFY2(prompter.messages.first().text.contains(fieldName),
             qPrintable(prompter.messages.first().text));
    QCOMPARE(fileBytes(m_path), m_original);
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
}

void tst_frmVecteurGNSS::cancelLeavesFile()
{
    frmVecteurGNSS dialog(m_path);
    dialog.findChild<QTableWidget *>(QStringLiteral("baselines"))
        ->item(0, 0)
        ->setCheckState(Qt::Unchecked);
    button(dialog, QStringLiteral("Annuler"))->click();
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    QCOMPARE(fileBytes(m_path), m_original);
}

void tst_frmVecteurGNSS::unreadableFileNeverRewritten()
{
    ScriptedPrompter prompter;
    const QString missing = m_dir.filePath(QStringLiteral("absent.iob"));
    frmVecteurGNSS dialog(missing);

    QCOMPARE(prompter.messages.size(), 1);
    QCOMPARE(prompter.messages.first().kind, MessageKind::Warning);
    QVERIFY(prompter.messages.first().text.contains(missing));
    QCOMPARE(dialog.findChild<QTableWidget *>(QStringLiteral("baselines"))->rowCount(), 0);
    QPushButton *validate = button(dialog, QStringLiteral("Valider"));
    QVERIFY(!validate->isEnabled());
    validate->click();
    QVERIFY(!QFile::exists(missing));
}

void tst_frmVecteurGNSS::writeFailureKeepsOldFile()
{
    ScriptedPrompter prompter;
    frmVecteurGNSS dialog(m_path);
    dialog.findChild<QLineEdit *>(QStringLiteral("factor"))->setText(QStringLiteral("3"));

    {
        FileSizeLimit limit(64);
        button(dialog, QStringLiteral("Valider"))->click();
    }

    QCOMPARE(prompter.messages.size(), 1);
    QCOMPARE(prompter.messages.first().kind, MessageKind::Warning);
    QVERIFY(prompter.messages.first().text.contains(m_path));
    QCOMPARE(fileBytes(m_path), m_original);
    QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files), QStringList{"reseau.iob"});
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
}

QTEST_MAIN(tst_frmVecteurGNSS)
#include "tst_frmvecteurgnss.moc"
