#include "dialogbuttons.h"
#include "editorsearch.h"
#include "frmfindreplace.h"

#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTextBlock>
#include <QtTest>

namespace {

const QString kText = QStringLiteral(" DIST  S1  A           B           \n"
                                     "! distance mesuree deux fois\n"
                                     " DIST  S1  B           C           \n"
                                     " ZANG  S1  B           C           \n");

} // namespace

class tst_frmFindReplace : public QObject
{
    Q_OBJECT

private slots:
    void layout();
    void buttonsEmitTheText_data();
    void buttonsEmitTheText();
    void quitEmitsAndCloses();
    void closeButtonDoesNotQuit();
    void findForward();
    void findIgnoresCase();
    void findDoesNotWrap_data();
    void findDoesNotWrap();
    void occurrences_data();
    void occurrences();
};

void tst_frmFindReplace::layout()
{
    frmFindReplace dialog;
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Rechercher"));
    QVERIFY(!dialog.parent());
    QVERIFY(dialog.findChild<QLineEdit *>()->minimumWidth() >= 150);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    // The button column, top to bottom.
    const QStringList order{"Cherche precedent", "Cherche suivant", "Cherche tout", "Quitter"};
    for (int i = 1; i < order.size(); ++i)
        QVERIFY(button(dialog, order.at(i - 1))->y() < button(dialog, order.at(i))->y());
    QVERIFY(dialog.findChild<QLineEdit *>()->x() < button(dialog, order.first())->x());
}

void tst_frmFindReplace::buttonsEmitTheText_data()
{
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("next");
    QTest::addColumn<int>("previous");
    QTest::addColumn<int>("all");

    QTest::newRow("suivant") << "Cherche suivant"
                             << "dist" << 1 << 0 << 0;
    QTest::newRow("precedent") << "Cherche precedent"
                               << "dist" << 0 << 1 << 0;
    QTest::newRow("tout") << "Cherche tout"
                          << "dist" << 0 << 0 << 1;
    QTest::newRow("suivant with empty field") << "Cherche suivant"
                                              << "" << 0 << 0 << 0;
    QTest::newRow("precedent with empty field") << "Cherche precedent"
                                                << "" << 0 << 0 << 0;
    QTest::newRow("tout with empty field") << "Cherche tout"
                                           << "" << 0 << 0 << 0;
    QTest::newRow("a blank is searched") << "Cherche suivant"
                                         << " " << 1 << 0 << 0;
}

void tst_frmFindReplace::buttonsEmitTheText()
{
    QFETCH(QString, caption);
    QFETCH(QString, text);
    QFETCH(int, next);
    QFETCH(int, previous);
    QFETCH(int, all);

    frmFindReplace dialog;
    QSignalSpy nextSpy(&dialog, &frmFindReplace::rechercherNext);
    QSignalSpy previousSpy(&dialog, &frmFindReplace::rechercherPrevious);
    QSignalSpy allSpy(&dialog, &frmFindReplace::rechercherAll);
    QSignalSpy quitSpy(&dialog, &frmFindReplace::rechercherQuit);
    dialog.findChild<QLineEdit *>()->setText(text);
    button(dialog, caption)->click();

    QCOMPARE(nextSpy.count(), next);
    QCOMPARE(previousSpy.count(), previous);
    QCOMPARE(allSpy.count(), all);
    QCOMPARE(quitSpy.count(), 0);
    for (QSignalSpy *spy : {&nextSpy, &previousSpy, &allSpy}) {
        if (spy->count())
            QCOMPARE(spy->first().first().toString(), text);
    }
}

void tst_frmFindReplace::quitEmitsAndCloses()
{
    frmFindReplace dialog;
    QSignalSpy quitSpy(&dialog, &frmFindReplace::rechercherQuit);
    dialog.show();
    button(dialog, QStringLiteral("Quitter"))->click();
    QCOMPARE(quitSpy.count(), 1);
    QVERIFY(!dialog.isVisible());
}

void tst_frmFindReplace::closeButtonDoesNotQuit()
{
    frmFindReplace dialog;
    QSignalSpy quitSpy(&dialog, &frmFindReplace::rechercherQuit);
    dialog.show();
    dialog.close();
    QCOMPARE(quitSpy.count(), 0);
}

void tst_frmFindReplace::findForward()
{
    QTextEdit editor;
    editor.setPlainText(kText);
    QVERIFY(findInEditor(editor, QStringLiteral("S1"), SearchDirection::Forward));
    QCOMPARE(editor.textCursor().blockNumber(), 0);
    QVERIFY(findInEditor(editor, QStringLiteral("S1"), SearchDirection::Forward));
    QCOMPARE(editor.textCursor().blockNumber(), 2);
    QVERIFY(findInEditor(editor, QStringLiteral("S1"), SearchDirection::Backward));
    QCOMPARE(editor.textCursor().blockNumber(), 0);
}

void tst_frmFindReplace::findIgnoresCase()
{
    QTextEdit editor;
    editor.setPlainText(kText);
    QVERIFY(findInEditor(editor, QStringLiteral("dist"), SearchDirection::Forward));
    QCOMPARE(editor.textCursor().selectedText(), QStringLiteral("DIST"));
    QCOMPARE(editor.textCursor().selectionStart(), 1);
    // Partial words are found too: "dist" inside "distance".
    QVERIFY(findInEditor(editor, QStringLiteral("dist"), SearchDirection::Forward));
    QCOMPARE(editor.textCursor().selectedText(), QStringLiteral("dist"));
    QCOMPARE(editor.textCursor().blockNumber(), 1);
}

void tst_frmFindReplace::findDoesNotWrap_data()
{
    QTest::addColumn<int>("direction");
    QTest::addColumn<int>("hits");
    QTest::newRow("forward") << int(SearchDirection::Forward) << 3;
    QTest::newRow("backward") << int(SearchDirection::Backward) << 3;
}

void tst_frmFindReplace::findDoesNotWrap()
{
    QFETCH(int, direction);
    QFETCH(int, hits);

    QTextEdit editor;
    editor.setPlainText(kText);
    QTextCursor start(editor.document());
    if (SearchDirection(direction) == SearchDirection::Backward)
        start.movePosition(QTextCursor::End);
    editor.setTextCursor(start);
    for (int i = 0; i < hits; ++i)
        QVERIFY(findInEditor(editor, QStringLiteral("dist"), SearchDirection(direction)));
    const QTextCursor last = editor.textCursor();
    QVERIFY(!findInEditor(editor, QStringLiteral("dist"), SearchDirection(direction)));
    // Cursor and selection stay on the last occurrence.
    QCOMPARE(editor.textCursor().selectionStart(), last.selectionStart());
    QCOMPARE(editor.textCursor().selectionEnd(), last.selectionEnd());
}

void tst_frmFindReplace::occurrences_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QList<int>>("starts");

    QTest::newRow("every DIST, any case") << "dist" << QList<int>{1, 38, 66};
    QTest::newRow("station names") << "s1" << QList<int>{7, 72, 108};
    QTest::newRow("absent") << "AZIM" << QList<int>{};
    QTest::newRow("empty") << "" << QList<int>{};
}

void tst_frmFindReplace::occurrences()
{
    QFETCH(QString, text);
    QFETCH(QList<int>, starts);

    QTextDocument document(kText);
    const QList<QTextEdit::ExtraSelection> selections = occurrenceSelections(&document, text);
    QCOMPARE(selections.size(), starts.size());
    for (int i = 0; i < starts.size(); ++i) {
        QCOMPARE(selections.at(i).cursor.selectionStart(), starts.at(i));
        QCOMPARE(selections.at(i).cursor.selectedText().toLower(), text.toLower());
        QCOMPARE(selections.at(i).format.background(), QBrush(Qt::lightGray, Qt::SolidPattern));
    }
}

QTEST_MAIN(tst_frmFindReplace)
#include "tst_frmfindreplace.moc"
