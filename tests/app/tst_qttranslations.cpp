#include "qttranslations.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QtTest>

// Qt's standard buttons speak French once the workbench has installed Qt's catalogue.
class tst_QtTranslations : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void standardButtons_data();
    void standardButtons();
};

void tst_QtTranslations::initTestCase()
{
    QVERIFY2(installQtTranslations(*QCoreApplication::instance()),
             "qtbase_fr.qm is missing from Qt's translations folder (qttranslations5-l10n)");
}

void tst_QtTranslations::standardButtons_data()
{
    QTest::addColumn<int>("button");
    QTest::addColumn<QString>("text");
    QTest::newRow("yes") << int(QMessageBox::Yes) << QStringLiteral("Oui");
    QTest::newRow("no") << int(QMessageBox::No) << QStringLiteral("Non");
    QTest::newRow("cancel") << int(QMessageBox::Cancel) << QStringLiteral("Annuler");
    QTest::newRow("save") << int(QMessageBox::Save) << QStringLiteral("Enregistrer");
}

void tst_QtTranslations::standardButtons()
{
    QFETCH(int, button);
    QFETCH(QString, text);
    QMessageBox box(QMessageBox::Question, QStringLiteral("Tavlo"), QStringLiteral("?"),
                    QMessageBox::StandardButton(button));
    QAbstractButton *shown = box.button(QMessageBox::StandardButton(button));
    QVERIFY(shown);
    QCOMPARE(shown->text().remove(QLatin1Char('&')), text);
}

QTEST_MAIN(tst_QtTranslations)
#include "tst_qttranslations.moc"
