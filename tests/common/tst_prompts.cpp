#include "prompts.h"
#include "scriptedprompter.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

// The save dialog's name rule: a name typed without extension takes the selected filter's, and
// a file that the completed name would replace is asked about first.
class tst_Prompts : public QObject
{
    Q_OBJECT

private slots:
    void filterExtension_data();
    void filterExtension();
    void saveAddsTheExtension();
    void replacingACompletedNameIsAsked();
    void integerHeldToItsBounds();
};

void tst_Prompts::filterExtension_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QString>("selected");
    QTest::addColumn<QString>("path");

    const QString iob = QStringLiteral("Fichier IOB (*.iob);;Autre fichier (*.*)");
    QTest::newRow("configuration") << "/m/essai"
                                   << "Fichier CFG (*.cfg)"
                                   << ""
                                   << "/m/essai.cfg";
    QTest::newRow("first entry selected") << "/m/essai" << iob << "Fichier IOB (*.iob)"
                                          << "/m/essai.iob";
    QTest::newRow("any file selected") << "/m/essai" << iob << "Autre fichier (*.*)"
                                       << "/m/essai";
    QTest::newRow("selection unknown: first entry") << "/m/essai" << iob << "Tous (*)"
                                                    << "/m/essai.iob";
    QTest::newRow("extension typed") << "/m/essai.txt" << iob << ""
                                     << "/m/essai.txt";
    QTest::newRow("dot typed last") << "/m/essai." << iob << ""
                                    << "/m/essai.";
    QTest::newRow("dot in the folder only") << "/m.v2/essai" << iob << ""
                                            << "/m.v2/essai.iob";
    QTest::newRow("bare pattern") << "essai"
                                  << "*.cfg"
                                  << ""
                                  << "essai.cfg";
    QTest::newRow("accented entry") << "/m/grille"
                                    << "Fichier Geoïde (*.geo)"
                                    << ""
                                    << "/m/grille.geo";
    QTest::newRow("several patterns: the first") << "/m/essai"
                                                 << "Texte (*.txt *.log)"
                                                 << ""
                                                 << "/m/essai.txt";
    QTest::newRow("wildcard extension") << "/m/essai"
                                        << "Sauvegardes (*.b?k)"
                                        << ""
                                        << "/m/essai";
    QTest::newRow("no name") << "/m/" << iob << ""
                             << "/m/";
}

void tst_Prompts::filterExtension()
{
    QFETCH(QString, typed);
    QFETCH(QString, filter);
    QFETCH(QString, selected);
    QFETCH(QString, path);
    QCOMPARE(prompts::withFilterExtension(typed, filter, selected), path);
}

void tst_Prompts::saveAddsTheExtension()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    ScriptedPrompter prompter;
    prompter.files.enqueue({dir.filePath(QStringLiteral("essai"))});
    prompter.files.enqueue({dir.filePath(QStringLiteral("autre"))});
    prompter.selectedFilters.enqueue(QStringLiteral("Fichier IOB (*.iob)"));
    prompter.selectedFilters.enqueue(QStringLiteral("Autre fichier (*.*)"));
    const QString filter = QStringLiteral("Fichier IOB (*.iob);;Autre fichier (*.*)");

    QCOMPARE(prompts::saveFileName(nullptr, QStringLiteral("Sauvegarder sous"), QString(), filter),
             dir.filePath(QStringLiteral("essai.iob")));
    QCOMPARE(prompts::saveFileName(nullptr, QStringLiteral("Sauvegarder sous"), QString(), filter),
             dir.filePath(QStringLiteral("autre")));
    QVERIFY(prompter.messages.isEmpty());
}

void tst_Prompts::replacingACompletedNameIsAsked()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString existing = dir.filePath(QStringLiteral("essai.cfg"));
    QFile file(existing);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    const QString typed = dir.filePath(QStringLiteral("essai"));
    const QString filter = QStringLiteral("Fichier CFG (*.cfg)");

    // No: the dialog comes back on the completed name; cancelling it then chooses nothing.
    ScriptedPrompter prompter;
    prompter.files.enqueue({typed});
    prompter.answers.enqueue(QMessageBox::No);
    QVERIFY(prompts::saveFileName(nullptr, QStringLiteral("Fichier CFG à créer"), QString(), filter)
                .isEmpty());
    QCOMPARE(prompter.messages.size(), 1);
    const MessageRequest &question = prompter.messages.first();
    QCOMPARE(question.kind, MessageKind::Question);
    QCOMPARE(question.title, QStringLiteral("Fichier CFG à créer"));
    QCOMPARE(question.text,
             QStringLiteral("Le fichier essai.cfg existe déjà.\nVoulez-vous le remplacer ?"));
    QCOMPARE(question.defaultButton, QMessageBox::No);
    QCOMPARE(prompter.dialogs.size(), 2);
    QCOMPARE(prompter.dialogs.at(1).directory, existing);

    // Yes: the completed name is chosen.
    prompter.files.enqueue({typed});
    prompter.answers.enqueue(QMessageBox::Yes);
    QCOMPARE(
        prompts::saveFileName(nullptr, QStringLiteral("Fichier CFG à créer"), QString(), filter),
        existing);

    // A name typed whole was confirmed by the dialog itself: nothing more is asked.
    prompter.messages.clear();
    prompter.files.enqueue({existing});
    QCOMPARE(
        prompts::saveFileName(nullptr, QStringLiteral("Fichier CFG à créer"), QString(), filter),
        existing);
    QVERIFY(prompter.messages.isEmpty());
}

void tst_Prompts::integerHeldToItsBounds()
{
    ScriptedPrompter prompter;
    for (int answer : {4, 0, 8})
        prompter.integers.enqueue(answer);
    const auto ask = [] { return prompts::integer(nullptr, "Ligne", "Numéro :", 2, 1, 7); };
    QCOMPARE(ask(), std::optional<int>(4));
    QCOMPARE(prompter.integerRequests.at(0).value, 2);
    QCOMPARE(prompter.integerRequests.at(0).maximum, 7);
    // An answer out of bounds, or none, is no number.
    QCOMPARE(ask(), std::optional<int>());
    QCOMPARE(ask(), std::optional<int>());
    QCOMPARE(ask(), std::optional<int>());
}

QTEST_MAIN(tst_Prompts)
#include "tst_prompts.moc"
