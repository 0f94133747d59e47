#include "dialogbuttons.h"
#include "frmtraitement.h"
#include "scriptedprompter.h"

#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QtTest>

namespace {

const QList<QString> kPrevious{QStringLiteral("/m/a.iob"), QStringLiteral("/m/b.iob")};
const QString kConfiguration = QStringLiteral("/m/run.cfg");

} // namespace

class tst_frmTraitement : public QObject
{
    Q_OBJECT

private slots:
    void layout();
    void prefilled();
    void addFiles_data();
    void addFiles();
    void deleteSelected();
    void selectConfiguration_data();
    void selectConfiguration();
    void process_data();
    void process();
    void typedConfigurationIsTaken();
    void cancel();
};

void tst_frmTraitement::layout()
{
    frmTraitement dialog(kPrevious, kConfiguration);
    dialog.show();
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Lancement d'un calcul"));
    QVERIFY(!dialog.parent());

    const QList<QGroupBox *> boxes = dialog.findChildren<QGroupBox *>();
    QCOMPARE(boxes.size(), 2);
    QGroupBox *filesBox = boxes.at(0)->title() == QStringLiteral("Fichiers IOB à traiter")
                              ? boxes.at(0)
                              : boxes.at(1);
    QGroupBox *configurationBox = boxes.at(0) == filesBox ? boxes.at(1) : boxes.at(0);
    QCOMPARE(filesBox->title(), QStringLiteral("Fichiers IOB à traiter"));
    QCOMPARE(configurationBox->title(), QStringLiteral("Fichier CFG à utiliser"));
    QCOMPARE(filesBox->minimumWidth(), 600);
    QVERIFY(filesBox->geometry().bottom() < configurationBox->geometry().top());

    // The list at the left of its buttons, stacked; the line edit beside "Sélectionner".
    QListWidget *list = filesBox->findChild<QListWidget *>();
    QVERIFY(list);
    QPushButton *add = button(dialog, "Ajouter");
    QPushButton *remove = button(dialog, "Supprimer");
    QCOMPARE(add->parent(), filesBox);
    QCOMPARE(remove->parent(), filesBox);
    QVERIFY(list->geometry().right() < add->geometry().left());
    QVERIFY(add->geometry().bottom() < remove->geometry().top());
    QVERIFY(configurationBox->findChild<QLineEdit *>());
    QCOMPARE(button(dialog, "Sélectionner")->parent(), configurationBox);

    QPushButton *run = button(dialog, "Lancer le traitement");
    QPushButton *cancel = button(dialog, "Annuler");
    QVERIFY(run->geometry().top() > configurationBox->geometry().bottom());
    QVERIFY(run->geometry().right() < cancel->geometry().left());
}

void tst_frmTraitement::prefilled()
{
    const frmTraitement dialog(kPrevious + kPrevious, kConfiguration);
    QCOMPARE(dialog.files(), kPrevious + kPrevious);
    QCOMPARE(dialog.configuration(), kConfiguration);
    QCOMPARE(dialog.findChild<QLineEdit *>()->text(), kConfiguration);
}

void tst_frmTraitement::addFiles_data()
{
    QTest::addColumn<QStringList>("chosen");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("cancelled") << QStringList() << QStringList(kPrevious);
    QTest::newRow("appended in order")
        << QStringList{"/n/z.iob", "/n/c.iob"}
        << QStringList{"/m/a.iob", "/m/b.iob", "/n/z.iob", "/n/c.iob"};
    QTest::newRow("duplicate kept")
        << QStringList{"/m/a.iob"} << QStringList{"/m/a.iob", "/m/b.iob", "/m/a.iob"};
}

void tst_frmTraitement::addFiles()
{
    QFETCH(QStringList, chosen);
    QFETCH(QStringList, expected);
    ScriptedPrompter prompter;
    prompter.files.enqueue(chosen);
    frmTraitement dialog(kPrevious, kConfiguration);
    QTest::mouseClick(button(dialog, "Ajouter"), Qt::LeftButton);

    QCOMPARE(prompter.dialogs.size(), 1);
    QCOMPARE(prompter.dialogs.first().kind, FileDialogKind::OpenFiles);
    QCOMPARE(prompter.dialogs.first().caption, QStringLiteral("Ajout de fichier(s) IOB"));
    QCOMPARE(prompter.dialogs.first().filter, QStringLiteral("*.iob"));
    QVERIFY(prompter.dialogs.first().directory.isEmpty());
    QCOMPARE(dialog.files(), QList<QString>(expected));
    QCOMPARE(dialog.configuration(), kConfiguration);
}

void tst_frmTraitement::deleteSelected()
{
    frmTraitement dialog(kPrevious + QList<QString>{QStringLiteral("/m/c.iob")}, kConfiguration);
    QListWidget *list = dialog.findChild<QListWidget *>();

    // Nothing selected: nothing deleted.
    list->clearSelection();
    QTest::mouseClick(button(dialog, "Supprimer"), Qt::LeftButton);
    QCOMPARE(dialog.files().size(), 3);

    list->setCurrentRow(1);
    QTest::mouseClick(button(dialog, "Supprimer"), Qt::LeftButton);
    QCOMPARE(dialog.files(), (QList<QString>{"/m/a.iob", "/m/c.iob"}));
}

void tst_frmTraitement::selectConfiguration_data()
{
    QTest::addColumn<QStringList>("chosen");
    QTest::addColumn<QString>("expected");
    QTest::newRow("chosen") << QStringList{"/n/other.cfg"} << "/n/other.cfg";
    QTest::newRow("cancelled") << QStringList() << kConfiguration;
}

void tst_frmTraitement::selectConfiguration()
{
    QFETCH(QStringList, chosen);
    QFETCH(QString, expected);
    ScriptedPrompter prompter;
    prompter.files.enqueue(chosen);
    frmTraitement dialog(kPrevious, kConfiguration);
    QTest::mouseClick(button(dialog, "Sélectionner"), Qt::LeftButton);

    QCOMPARE(prompter.dialogs.size(), 1);
    QCOMPARE(prompter.dialogs.first().kind, FileDialogKind::OpenFile);
    QCOMPARE(prompter.dialogs.first().caption, QStringLiteral("Choix du fichier CFG"));
    QCOMPARE(prompter.dialogs.first().filter, QStringLiteral("*.cfg"));
    QCOMPARE(dialog.configuration(), expected);
    QCOMPARE(dialog.files(), kPrevious);
}

void tst_frmTraitement::process_data()
{
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QString>("configuration");
    QTest::addColumn<bool>("runs");
    QTest::newRow("files and configuration") << QStringList(kPrevious) << kConfiguration << true;
    QTest::newRow("no file") << QStringList() << kConfiguration << false;
    QTest::newRow("no configuration") << QStringList(kPrevious) << QString() << false;
    QTest::newRow("same file twice")
        << QStringList{"/m/a.iob", "/m/a.iob"} << kConfiguration << true;
}

void tst_frmTraitement::process()
{
    QFETCH(QStringList, files);
    QFETCH(QString, configuration);
    QFETCH(bool, runs);

    frmTraitement dialog(files, configuration);
    dialog.show();
    // The run happens while the list is being handed over, before the launcher closes.
    QStringList order;
    connect(&dialog, &frmTraitement::majLastProcessed, &dialog,
            [&](const QList<QString> &paths, const QString &cfg) {
                order << QStringLiteral("maj");
                QCOMPARE(paths, QList<QString>(files));
                QCOMPARE(cfg, configuration);
            });
    connect(&dialog, &frmTraitement::afterProcess, &dialog, [&] {
        order << QStringLiteral("run");
        QVERIFY(dialog.isVisible());
    });

    QTest::mouseClick(button(dialog, "Lancer le traitement"), Qt::LeftButton);
    QCOMPARE(order, runs ? (QStringList{"maj", "run"}) : QStringList());
    QCOMPARE(dialog.isVisible(), !runs);
}

void tst_frmTraitement::typedConfigurationIsTaken()
{
    frmTraitement dialog(kPrevious, QString());
    QSignalSpy spy(&dialog, &frmTraitement::majLastProcessed);
    QTest::keyClicks(dialog.findChild<QLineEdit *>(), QStringLiteral("/typed/run.cfg"));
    dialog.process();
    QCOMPARE(spy.size(), 1);
    QCOMPARE(spy.first().at(1).toString(), QStringLiteral("/typed/run.cfg"));
}

void tst_frmTraitement::cancel()
{
    ScriptedPrompter prompter;
    prompter.files.enqueue({QStringLiteral("/n/new.iob")});
    frmTraitement dialog(kPrevious, kConfiguration);
    dialog.show();
    QSignalSpy majSpy(&dialog, &frmTraitement::majLastProcessed);
    QSignalSpy runSpy(&dialog, &frmTraitement::afterProcess);
    dialog.selectIOB();
    QTest::mouseClick(button(dialog, "Annuler"), Qt::LeftButton);
    QVERIFY(!dialog.isVisible());
    QVERIFY(majSpy.isEmpty());
    QVERIFY(runSpy.isEmpty());
}

QTEST_MAIN(tst_frmTraitement)
#include "tst_frmtraitement.moc"
