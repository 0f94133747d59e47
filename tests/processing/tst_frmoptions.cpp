#include "frmoptions.h"

#include "dialogbuttons.h"
#include "scriptedprompter.h"
#include "testfiles.h"
#include "textfile.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QtTest>

namespace {

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QStringList entries(const QComboBox *box)
{
    QStringList texts;
    for (int i = 0; i < box->count(); ++i)
        texts << box->itemText(i);
    return texts;
}

QStringList captions(const frmoptions &dialog, const char *key)
{
    QStringList texts;
    for (int i = 0; i < 3; ++i) {
        texts << dialog
                     .findChild<QCheckBox *>(QLatin1String(key) + QLatin1Char('_') +
                                             QString::number(i))
                     ->text();
    }
    return texts;
}

} // namespace

class tst_frmoptions : public QObject
{
    Q_OBJECT

private slots:
    void tabsAndGroups();
    void builtInState();
    void entries_data();
    void entries();
    void everyControlRoundTrips();
    void openAndSaveWritesSameFile_data();
    void openAndSaveWritesSameFile();
    void missingFileSavesBuiltInState();
    void captionRelabellingKeepsChecks();
    void readingRelabels_data();
    void readingRelabels();
    void tokensWithoutCaption_data();
    void tokensWithoutCaption();
    void countsOutOfRange();
    void saveFailureKeepsEditorOpen();
    void cancelWritesNothing();
};

void tst_frmoptions::tabsAndGroups()
{
    frmoptions dialog;
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Edition de fichier CFG"));
    QVERIFY(!dialog.parent());
    auto *tabs = dialog.findChild<QTabWidget *>();
    QVERIFY(tabs);
    const QStringList expectedTabs = {"Ajustement", "Statistiques", "Confiance et Fiabilite",
                                      "Rapport",    "Matrices",     "Multi Epoques",
                                      "Dessin"};
    const QList<QStringList> expectedGroups = {
        {"Configuration du traitement", "Paramètres de traitement", "Options Générales"},
        {"Facteur unitaire de variance", "Options pour la génération d'observations",
         "Options pour la VCE"},
        {"Options générales", "Calcul des régions de confiance", "Calcul des régions de fiabilité"},
        {"Contenu du rapport", "Solution ajustée", "Affichage des décimales",
         "Résultats complémentaires du traitement"},
        {"Options d'extraction des matrices", "Extraction des matrices", "Extraction des vecteurs"},
        {"Analyse Multi Epoques", "Tests de congruence"},
        {"Export moteur 2D interne (fichier DRW)", "Paramétrage de l'export KML (Google Earth)"}};
    QCOMPARE(tabs->count(), expectedTabs.size());
    for (int i = 0; i < tabs->count(); ++i) {
        QCOMPARE(tabs->tabText(i), expectedTabs.at(i));
        QStringList groups;
        const QList<QGroupBox *> boxes = tabs->widget(i)->findChildren<QGroupBox *>();
        for (const QGroupBox *box : boxes)
            groups << box->title();
        QCOMPARE(groups, expectedGroups.at(i));
    }
    QVERIFY(button(dialog, QStringLiteral("Sauver")));
    QVERIFY(button(dialog, QStringLiteral("Annuler")));

    // Every key of the file has its control.
    for (const ConfigurationKey &key : configurationKeys()) {
        switch (key.kind) {
        case ConfigurationKind::Text:
            QVERIFY2(dialog.findChild<QLineEdit *>(key.name), qPrintable(key.name));
            break;
        case ConfigurationKind::Choice:
        case ConfigurationKind::Count:
            QVERIFY2(dialog.findChild<QComboBox *>(key.name), qPrintable(key.name));
            break;
        case ConfigurationKind::Flag:
            QVERIFY2(dialog.findChild<QCheckBox *>(key.name), qPrintable(key.name));
            break;
        case ConfigurationKind::Digits:
        case ConfigurationKind::SolutionForms:
            for (int i = 0; i < key.components; ++i) {
                QVERIFY2(
                    dialog.findChild<QCheckBox *>(key.name + QLatin1Char('_') + QString::number(i)),
                    qPrintable(key.name));
            }
            break;
        case ConfigurationKind::Fixed:
            break;
        }
    }
}

void tst_frmoptions::builtInState()
{
    frmoptions dialog;
    QCOMPARE(dialog.configuration(), Configuration());
    QCOMPARE(captions(dialog, "REG1D_TYPE"), (QStringList{"X", "Y", "Z"}));
    QCOMPARE(captions(dialog, "REG2D_TYPE"), (QStringList{"XY", "XZ", "YZ"}));
    const QList<QComboBox *> boxes = dialog.findChildren<QComboBox *>();
    int fixedFormats = 0;
    for (const QComboBox *box : boxes) {
        QCOMPARE(box->currentIndex(), 0);
        if (!box->isEnabled()) {
            ++fixedFormats;
            QCOMPARE(::entries(box), QStringList{"Format Tavlo"});
        }
    }
    QCOMPARE(fixedFormats, 2);
    const QList<QLineEdit *> edits = dialog.findChildren<QLineEdit *>();
    for (const QLineEdit *edit : edits) {
        QVERIFY(!edit->validator());
        QVERIFY(edit->inputMask().isEmpty());
    }
}

void tst_frmoptions::entries_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("TYPECALCUL") << "TYPECALCUL"
                                << QStringList{"Ajustement", "Préanalyse", "Norme L1", "Huber"};
    QTest::newRow("TYPEMODEL") << "TYPEMODEL"
                               << QStringList{"3D Locale", "3D Sphérique", "3D Géodésique"};
    QTest::newRow("FREENET") << "FREENET"
                             << QStringList{"Réseau contraint", "Réseau libre (trace minimale)",
                                            "Réseau libre (points de base)"};
    QTest::newRow("LINEARUNIT") << "LINEARUNIT" << QStringList{" m", "cm", "mm"};
    QTest::newRow("SIGMADIST") << "SIGMADIST"
                               << QStringList{" +- précision (m) +- PPM (ppm)",
                                              "précision (m) + PPM (ppm)"};
    QTest::newRow("VCE_METHOD") << "VCE_METHOD" << QStringList{"Helmert"};
    QTest::newRow("REG2D_MODE") << "REG2D_MODE"
                                << QStringList{"Aucune", "Ponctuelle", "Relative",
                                               "Ponctuelle et relative"};
    QTest::newRow("LOG_SOLINT") << "LOG_SOLINT"
                                << QStringList{"NON", "1ERE ITERATION", "CHAQUE ITERATION"};
    QTest::newRow("OUTMAT_NC") << "OUTMAT_NC"
                               << QStringList{"NON", "Après Convergence", "A Chaque Itération"};
    QTest::newRow("GENE_LIMBE") << "GENE_LIMBE"
                                << QStringList{"Aléatoire (0->pi)", "Aléatoire (0->pi/2)",
                                               "Valeur nulle"};
    QTest::newRow("NBDEC_DIST") << "NBDEC_DIST" << QStringList{"1", "2", "3", "4", "5"};
    QStringList iterations;
    for (int i = 1; i <= 29; ++i)
        iterations << QString::number(i);
    QTest::newRow("NBMAXITER") << "NBMAXITER" << iterations;
    QTest::newRow("VCEITERMAX") << "VCEITERMAX" << iterations;
}

void tst_frmoptions::entries()
{
    QFETCH(QString, key);
    QFETCH(QStringList, expected);
    frmoptions dialog;
    auto *box = dialog.findChild<QComboBox *>(key);
    QVERIFY(box);
    QCOMPARE(::entries(box), expected);
}

void tst_frmoptions::everyControlRoundTrips()
{
    // Each value on its own, set into the controls and read back from them.
    for (const ConfigurationKey &key : configurationKeys()) {
        QList<Configuration> variants;
        Configuration c;
        switch (key.kind) {
        case ConfigurationKind::Text:
            c.setText(key.name, QStringLiteral("0.5"));
            variants << c;
            break;
        case ConfigurationKind::Choice:
            for (int i = 0; i < key.tokens.size(); ++i) {
                c.setChoice(key.name, i);
                variants << c;
            }
            break;
        case ConfigurationKind::Count:
            for (int n = 1; n <= key.maximum; ++n) {
                c.setCount(key.name, n);
                variants << c;
            }
            break;
        case ConfigurationKind::Flag:
            c.setFlag(key.name, true);
            variants << c;
            break;
        case ConfigurationKind::Digits:
        case ConfigurationKind::SolutionForms:
            for (int i = 0; i < key.components; ++i) {
                Configuration one;
                one.setDigit(key.name, i, true);
                variants << one;
            }
            break;
        case ConfigurationKind::Fixed:
            break;
        }
        frmoptions dialog;
        for (const Configuration &variant : qAsConst(variants)) {
            dialog.setConfiguration(variant);
            QVERIFY2(dialog.configuration() == variant, qPrintable(key.name));
        }
        dialog.setConfiguration(Configuration());
        QCOMPARE(dialog.configuration(), Configuration());
    }
}

void tst_frmoptions::openAndSaveWritesSameFile_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("expected");

    QTest::newRow("every value set") << "full.cfg"
                                     << "full.cfg";
    QTest::newRow("hand-written file") << "untidy.cfg"
                                       << "untidy-saved.cfg";
}

void tst_frmoptions::openAndSaveWritesSameFile()
{
    QFETCH(QString, input);
    QFETCH(QString, expected);
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("edited.cfg"));
    QVERIFY(QFile::copy(dataFile("configuration/" + input), path));

    ScriptedPrompter prompter;
    frmoptions dialog;
    dialog.readConfiguration(path);
    QCOMPARE(dialog.findChild<QLabel *>()->text(), path);
    dialog.show();
    QTest::mouseClick(button(dialog, QStringLiteral("Sauver")), Qt::LeftButton);
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QVERIFY(prompter.messages.isEmpty());
    QCOMPARE(fileBytes(path), platformBytes(fileBytes(dataFile("configuration/" + expected))));
}

void tst_frmoptions::missingFileSavesBuiltInState()
{
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("nouveau.cfg"));
    frmoptions dialog;
    dialog.readConfiguration(path);
    QCOMPARE(dialog.filePath(), path);
    QCOMPARE(dialog.configuration(), Configuration());
    dialog.sauver();
    QCOMPARE(fileBytes(path), platformBytes(Configuration().toText().toLatin1()));
}

void tst_frmoptions::captionRelabellingKeepsChecks()
{
    frmoptions dialog;
    auto *coordinates = dialog.findChild<QComboBox *>(QStringLiteral("REG_COORD"));
    for (const char *name : {"REG1D_TYPE_0", "REG1D_TYPE_2", "REG2D_TYPE_1"})
        dialog.findChild<QCheckBox *>(QLatin1String(name))->setChecked(true);
    const Configuration before = dialog.configuration();

    coordinates->setCurrentIndex(1);
    QCOMPARE(captions(dialog, "REG1D_TYPE"), (QStringList{"P", "L", "U"}));
    QCOMPARE(captions(dialog, "REG2D_TYPE"), (QStringList{"PL", "PU", "LU"}));
    coordinates->setCurrentIndex(2);
    QCOMPARE(captions(dialog, "REG1D_TYPE"), (QStringList{"N", "E", "U"}));
    QCOMPARE(captions(dialog, "REG2D_TYPE"), (QStringList{"NE", "NU", "EU"}));
    dialog.changeCoordType(7);
    QCOMPARE(captions(dialog, "REG1D_TYPE"), (QStringList{"N", "E", "U"}));
    coordinates->setCurrentIndex(0);
    QCOMPARE(captions(dialog, "REG1D_TYPE"), (QStringList{"X", "Y", "Z"}));
    QCOMPARE(captions(dialog, "REG2D_TYPE"), (QStringList{"XY", "XZ", "YZ"}));

    Configuration after = dialog.configuration();
    QCOMPARE(after, before);
}

void tst_frmoptions::readingRelabels_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<QStringList>("captions1d");

    QTest::newRow("XYZ") << QByteArray("XYZ") << QStringList{"X", "Y", "Z"};
    QTest::newRow("PLU") << QByteArray("PLU") << QStringList{"P", "L", "U"};
    QTest::newRow("NEU") << QByteArray("NEU") << QStringList{"N", "E", "U"};
    QTest::newRow("unknown is NEU") << QByteArray("ENU") << QStringList{"N", "E", "U"};
}

void tst_frmoptions::readingRelabels()
{
    QFETCH(QByteArray, value);
    QFETCH(QStringList, captions1d);
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("c.cfg"));
    QVERIFY(writeFile(path, "REG_COORD  " + value + "\nREG1D_TYPE 011\n"));
    frmoptions dialog;
    dialog.readConfiguration(path);
    QCOMPARE(captions(dialog, "REG1D_TYPE"), captions1d);
    QVERIFY(!dialog.findChild<QCheckBox *>(QStringLiteral("REG1D_TYPE_0"))->isChecked());
    QVERIFY(dialog.findChild<QCheckBox *>(QStringLiteral("REG1D_TYPE_2"))->isChecked());
}

void tst_frmoptions::tokensWithoutCaption_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("token");
    QTest::addColumn<QString>("firstToken");

    QTest::newRow("LSVCE") << "VCE_METHOD"
                           << "LSVCE"
                           << "HELMERT";
}

void tst_frmoptions::tokensWithoutCaption()
{
    QFETCH(QString, key);
    QFETCH(QString, token);
    QFETCH(QString, firstToken);
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("c.cfg"));
    const QString line = key.leftJustified(11) + token;
    QVERIFY(writeFile(path, line.toLatin1() + '\n'));

    frmoptions dialog;
    dialog.readConfiguration(path);
    auto *box = dialog.findChild<QComboBox *>(key);
    const int offered = box->count() - 1;
    QCOMPARE(box->currentText(), token);
    QCOMPARE(box->currentIndex(), offered);

    dialog.sauver();
    const QString saved = QString::fromLatin1(fileBytes(path));
    QVERIFY2(saved.contains(line + QLatin1Char('\n')) ||
                 saved.contains(line + QStringLiteral("\r\n")),
             qPrintable(saved));

    // Choosing an offered entry writes its token; the file's token stays on offer.
    box->setCurrentIndex(0);
    QCOMPARE(dialog.configuration().token(key), firstToken);
    QCOMPARE(box->count(), offered + 1);

    // Reading another file drops the entry when that file's token has a caption.
    QVERIFY(writeFile(path, key.leftJustified(11).toLatin1() + firstToken.toLatin1() + '\n'));
    dialog.readConfiguration(path);
    QCOMPARE(box->count(), offered);
}

void tst_frmoptions::countsOutOfRange()
{
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("c.cfg"));
    QVERIFY(writeFile(path, "NBMAXITER  45\nVCEITERMAX 0\nNBDEC_DIST 9\nNBDEC_ANGT trois\n"));
    frmoptions dialog;
    dialog.readConfiguration(path);
    QCOMPARE(dialog.findChild<QComboBox *>(QStringLiteral("NBMAXITER"))->currentText(),
             QStringLiteral("29"));
    QCOMPARE(dialog.findChild<QComboBox *>(QStringLiteral("VCEITERMAX"))->currentText(),
             QStringLiteral("1"));
    QCOMPARE(dialog.findChild<QComboBox *>(QStringLiteral("NBDEC_DIST"))->currentText(),
             QStringLiteral("5"));
    QCOMPARE(dialog.findChild<QComboBox *>(QStringLiteral("NBDEC_ANGT"))->currentIndex(), 0);
}

void tst_frmoptions::saveFailureKeepsEditorOpen()
{
    QTemporaryDir folder;
    // A path below a plain file can never be created.
    const QString blocker = folder.filePath(QStringLiteral("blocker"));
    QVERIFY(writeFile(blocker, "x"));
    const QString path = blocker + QStringLiteral("/edited.cfg");

    ScriptedPrompter prompter;
    frmoptions dialog;
    dialog.readConfiguration(path);
    dialog.findChild<QLineEdit *>(QStringLiteral("CRITCONV"))->setText(QStringLiteral("0,002"));
    dialog.show();
    QTest::mouseClick(button(dialog, QStringLiteral("Sauver")), Qt::LeftButton);

    QCOMPARE(prompter.messages.size(), 1);
    const MessageRequest &warning = prompter.messages.first();
    QCOMPARE(warning.kind, MessageKind::Warning);
    QVERIFY2(warning.text.contains(QDir::toNativeSeparators(path)), qPrintable(warning.text));
    QFile probe(path);
    QVERIFY(!probe.open(QIODevice::WriteOnly));
    QVERIFY2(warning.text.contains(probe.errorString()), qPrintable(warning.text));
    QVERIFY(dialog.isVisible());
    QCOMPARE(dialog.findChild<QLineEdit *>(QStringLiteral("CRITCONV"))->text(),
             QStringLiteral("0,002"));
    QCOMPARE(dialog.filePath(), path);
}

void tst_frmoptions::cancelWritesNothing()
{
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("c.cfg"));
    const QByteArray original = "# mes options\nNBMAXITER  12\n";
    QVERIFY(writeFile(path, original));

    frmoptions byButton;
    byButton.readConfiguration(path);
    byButton.show();
    byButton.findChild<QCheckBox *>(QStringLiteral("DRW_EXPORT"))->setChecked(true);
    QTest::mouseClick(button(byButton, QStringLiteral("Annuler")), Qt::LeftButton);
    QVERIFY(!byButton.isVisible());
    QCOMPARE(byButton.result(), int(QDialog::Rejected));

    frmoptions byWindow;
    byWindow.readConfiguration(path);
    byWindow.show();
    QVERIFY(byWindow.close());
    QVERIFY(!byWindow.isVisible());
    QCOMPARE(byWindow.result(), int(QDialog::Rejected));

    QCOMPARE(fileBytes(path), original);
}

QTEST_MAIN(tst_frmoptions)
#include "tst_frmoptions.moc"
