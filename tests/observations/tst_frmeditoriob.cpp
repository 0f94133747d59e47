#include "frmeditoriob.h"

#include "dialogbuttons.h"
#include "placedline.h"
#include "scriptedprompter.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

class tst_frmEditorIOB : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void entries();
    void startsOnEmptyComment();
    void emptyLineAddsExclamationMark();
    void recordLineSelectsItsType();
    void includeLine();
    void commentedOutRecordWrittenBackWithBlank();
    void commentLineGetsExclamationMark();
    void unknownChoiceShowsFirstItem();
    void unchangedLineRebuiltUnchanged();
    void numbersRealignedOnRebuild();
    void sameEntryRedrawnForNewLine();
    void entryChosenByHandReadsSameLine();
    void inputWidthsFollowFieldWidths();
    void tooLongValueRefused_data();
    void tooLongValueRefused();
    void steppingAndQuitting();
    void focusedFieldShowsColumnsAndUnit_data();
    void focusedFieldShowsColumnsAndUnit();
    void recordsTheEngineCannotReadAreMarked_data();
    void recordsTheEngineCannotReadAreMarked();

private:
    QComboBox *selector() const;
    QLabel *label(int row) const;
    QLineEdit *edit(int row) const;
    QComboBox *choice(int row) const;
    int entryOf(const QString &code) const;

    std::unique_ptr<frmEditorIOB> m_editor;
    std::unique_ptr<ScriptedPrompter> m_prompter;
};

// A DIST line as the editor writes it.
static QString distLine(QChar first = QLatin1Char(' '))
{
    return placedLine({{1, QString(first)},
                       {2, "DIST"},
                       {7, "S01"},
                       {11, "STATION 1"},
                       {24, "CIBLE2"},
                       {50, "       125.4521"},
                       {66, "     0.003"},
                       {77, "cm"}});
}

void tst_frmEditorIOB::init()
{
    m_prompter = std::make_unique<ScriptedPrompter>();
    m_editor = std::make_unique<frmEditorIOB>();
}

void tst_frmEditorIOB::cleanup()
{
    m_editor.reset();
    m_prompter.reset();
}

QComboBox *tst_frmEditorIOB::selector() const
{
    return m_editor->findChild<QComboBox *>(QStringLiteral("entrySelector"));
}

QLabel *tst_frmEditorIOB::label(int row) const
{
    return m_editor->findChild<QLabel *>(QStringLiteral("fieldLabel%1").arg(row));
}

QLineEdit *tst_frmEditorIOB::edit(int row) const
{
    return m_editor->findChild<QLineEdit *>(QStringLiteral("fieldEdit%1").arg(row));
}

QComboBox *tst_frmEditorIOB::choice(int row) const
{
    return m_editor->findChild<QComboBox *>(QStringLiteral("fieldChoice%1").arg(row));
}

int tst_frmEditorIOB::entryOf(const QString &code) const
{
    return RecordCatalogue().indexOf(code);
}

void tst_frmEditorIOB::entries()
{
    QCOMPARE(m_editor->windowTitle(), QStringLiteral("Editeur de Champs"));
    QCOMPARE(selector()->count(), 45);
    QCOMPARE(selector()->itemText(0), QStringLiteral("3DC Définition d'un point 3D"));
    QCOMPARE(selector()->itemText(8), QStringLiteral("DIST Distance 3D entre deux points"));
    QCOMPARE(selector()->itemText(42), QStringLiteral("ZANG Angle zénithal d'une direction"));
    QCOMPARE(m_editor->includeEntry(), 43);
    QCOMPARE(selector()->itemText(43), QStringLiteral("#include : lien vers fichier IOB externe"));
    QCOMPARE(m_editor->commentEntry(), 44);
    QCOMPARE(selector()->itemText(44), QStringLiteral("*commentaire : ligne de commentaire"));
    QCOMPARE(selector()->width(), 500);
    for (const char *text :
         {"Quitter", "Ajouter", "Remplacer", "Ligne precedente", "Ligne suivante"})
        QVERIFY(button(*m_editor, QString::fromLatin1(text)));
}

void tst_frmEditorIOB::startsOnEmptyComment()
{
    QCOMPARE(selector()->currentIndex(), 44);
    QCOMPARE(label(0)->text(), QStringLiteral("Commentaire :"));
    QCOMPARE(edit(0)->text(), QString());
    QVERIFY(!edit(0)->isHidden());
    QVERIFY(choice(0)->isHidden());
    for (int row = 1; row < 12; ++row)
        QVERIFY(label(row)->isHidden() && edit(row)->isHidden() && choice(row)->isHidden());
}

void tst_frmEditorIOB::emptyLineAddsExclamationMark()
{
    m_editor->setLine(distLine()); // leave the comment entry first
    m_editor->setLine(QString());
    QCOMPARE(selector()->currentIndex(), m_editor->commentEntry());
    QCOMPARE(edit(0)->text(), QString());

    QSignalSpy added(m_editor.get(), &frmEditorIOB::ajoutLigne);
    button(*m_editor, QStringLiteral("Ajouter"))->click();
    QCOMPARE(added.count(), 1);
    QCOMPARE(added.at(0).at(0).toString(), QStringLiteral("!"));
}

void tst_frmEditorIOB::recordLineSelectsItsType()
{
    m_editor->setLine(placedLine({{2, "XYZ"}, {7, "101"}, {11, "P1"}}));
    QCOMPARE(selector()->currentIndex(), entryOf(QStringLiteral("XYZ")));
    const QStringList captions{"Coordonnées fixées :", "Point :", "X :", "Y :", "Z :", "Unité :"};
    for (int row = 0; row < captions.size(); ++row) {
        QCOMPARE(label(row)->text(), captions.at(row));
        QVERIFY(!label(row)->isHidden());
    }
    QCOMPARE(label(2)->toolTip(), QStringLiteral("Coordonnée X du point"));
    QCOMPARE(edit(0)->text(), QStringLiteral("101"));
    QCOMPARE(edit(0)->toolTip(), QStringLiteral("Coordonnées fixes (1) ou libres (0)"));
    QCOMPARE(edit(1)->text(), QStringLiteral("P1"));
    QVERIFY(!edit(1)->isHidden() && choice(1)->isHidden());
    QVERIFY(edit(5)->isHidden() && !choice(5)->isHidden());
    QCOMPARE(choice(5)->toolTip(), QStringLiteral("Unité pour les coordonnees"));
    for (int row = 6; row < 12; ++row) {
        QVERIFY(label(row)->isHidden() && edit(row)->isHidden() && choice(row)->isHidden());
        QVERIFY(edit(row)->toolTip().isEmpty() && choice(row)->toolTip().isEmpty());
    }
}

void tst_frmEditorIOB::includeLine()
{
    m_editor->setLine(QStringLiteral("#include data.iob"));
    QCOMPARE(selector()->currentIndex(), m_editor->includeEntry());
    QCOMPARE(label(0)->text(), QStringLiteral("Fichier :"));
    QCOMPARE(edit(0)->text(), QStringLiteral("data.iob"));
    QCOMPARE(edit(0)->toolTip(), QStringLiteral("Nom du fichier à inclure"));
    QCOMPARE(edit(0)->minimumWidth(), 300);
    QCOMPARE(edit(0)->maximumWidth(), 800);
    QVERIFY(choice(0)->isHidden());

    QSignalSpy added(m_editor.get(), &frmEditorIOB::ajoutLigne);
    edit(0)->setText(QStringLiteral("autre.iob"));
    button(*m_editor, QStringLiteral("Ajouter"))->click();
    QCOMPARE(added.count(), 1);
    QCOMPARE(added.at(0).at(0).toString(), QStringLiteral("#include autre.iob"));
}

void tst_frmEditorIOB::commentedOutRecordWrittenBackWithBlank()
{
    m_editor->setLine(distLine(QLatin1Char('!')));
    QCOMPARE(selector()->currentIndex(), entryOf(QStringLiteral("DIST")));

    QSignalSpy replaced(m_editor.get(), &frmEditorIOB::remplaceLigne);
    button(*m_editor, QStringLiteral("Remplacer"))->click();
    QCOMPARE(replaced.count(), 1);
    QCOMPARE(replaced.at(0).at(0).toString(), distLine());
}

void tst_frmEditorIOB::commentLineGetsExclamationMark()
{
    m_editor->setLine(QStringLiteral("* texte"));
    QCOMPARE(selector()->currentIndex(), m_editor->commentEntry());
    QCOMPARE(edit(0)->text(), QStringLiteral("* texte"));
    QCOMPARE(edit(0)->minimumWidth(), 400);

    QSignalSpy replaced(m_editor.get(), &frmEditorIOB::remplaceLigne);
    button(*m_editor, QStringLiteral("Remplacer"))->click();
    QCOMPARE(replaced.count(), 1);
    QCOMPARE(replaced.at(0).at(0).toString(), QStringLiteral("!* texte"));
}

void tst_frmEditorIOB::unknownChoiceShowsFirstItem()
{
    m_editor->setLine(QString(distLine()).replace(76, 2, QStringLiteral("km")));
    QCOMPARE(choice(5)->count(), 3);
    QCOMPARE(choice(5)->currentText(), QStringLiteral("m "));

    QSignalSpy replaced(m_editor.get(), &frmEditorIOB::remplaceLigne);
    button(*m_editor, QStringLiteral("Remplacer"))->click();
    QCOMPARE(replaced.at(0).at(0).toString().mid(76), QStringLiteral("m "));

    // A known item is matched with its blanks.
    m_editor->setLine(
        placedLine({{2, "AUX"}, {7, "ALL"}, {11, "GRP1"}, {24, "CONS"}, {34, "SCAL"}}));
    QCOMPARE(choice(0)->currentText(), QStringLiteral("ALL"));
    QCOMPARE(choice(2)->currentText(), QStringLiteral("CONS"));
    QCOMPARE(choice(3)->currentText(), QStringLiteral("    "));
    QCOMPARE(choice(4)->currentText(), QStringLiteral("SCAL"));
    QCOMPARE(choice(8)->currentText(), QStringLiteral("    "));
}

void tst_frmEditorIOB::unchangedLineRebuiltUnchanged()
{
    m_editor->setLine(distLine());
    QCOMPARE(edit(0)->text(), QStringLiteral("S01"));
    QCOMPARE(edit(1)->text(), QStringLiteral("STATION 1"));
    QCOMPARE(edit(2)->text(), QStringLiteral("CIBLE2"));
    QCOMPARE(edit(3)->text(), QStringLiteral("125.4521"));
    QCOMPARE(edit(4)->text(), QStringLiteral("0.003"));
    QCOMPARE(choice(5)->currentText(), QStringLiteral("cm"));

    QSignalSpy replaced(m_editor.get(), &frmEditorIOB::remplaceLigne);
    button(*m_editor, QStringLiteral("Remplacer"))->click();
    QCOMPARE(replaced.count(), 1);
    QCOMPARE(replaced.at(0).at(0).toString(), distLine());
}

void tst_frmEditorIOB::numbersRealignedOnRebuild()
{
    m_editor->setLine(placedLine({{2, "DIST"}, {50, "125,4521"}, {66, "0.0030"}, {77, "mm"}}));
    QSignalSpy added(m_editor.get(), &frmEditorIOB::ajoutLigne);
    button(*m_editor, QStringLiteral("Ajouter"))->click();
    QCOMPARE(added.at(0).at(0).toString(),
             placedLine({{2, "DIST"}, {50, "       125.4521"}, {66, "    0.0030"}, {77, "mm"}}));
}

void tst_frmEditorIOB::sameEntryRedrawnForNewLine()
{
    m_editor->setLine(distLine());
    m_editor->setLine(placedLine({{2, "DIST"}, {11, "AUTRE"}}));
    QCOMPARE(edit(1)->text(), QStringLiteral("AUTRE"));
    QCOMPARE(edit(3)->text(), QString());
}

void tst_frmEditorIOB::entryChosenByHandReadsSameLine()
{
    m_editor->setLine(distLine());
    selector()->setCurrentIndex(entryOf(QStringLiteral("HI")));
    QCOMPARE(label(0)->text(), QStringLiteral("Point :"));
    QCOMPARE(edit(0)->text(), QStringLiteral("STATION 1"));
    QCOMPARE(edit(1)->text(), QStringLiteral("CIBLE2"));
    QVERIFY(label(3)->isHidden());

    selector()->setCurrentIndex(m_editor->commentEntry());
    QCOMPARE(edit(0)->text(), distLine().trimmed());
}

void tst_frmEditorIOB::inputWidthsFollowFieldWidths()
{
    m_editor->setLine(distLine());
    QCOMPARE(edit(1)->minimumWidth(), 100); // 12 characters
    QCOMPARE(edit(1)->maximumWidth(), 140);
    QCOMPARE(edit(3)->minimumWidth(), 130); // 15 characters
    QCOMPARE(edit(3)->maximumWidth(), 170);
    // 2 characters: at most 40 pixels, unless the item and the arrow need more.
    QCOMPARE(choice(5)->minimumWidth(), 0);
    QCOMPARE(choice(5)->maximumWidth(), qMax(40, choice(5)->minimumSizeHint().width()));

    // A row that held the include file gets its field's width back.
    m_editor->setLine(QStringLiteral("#include data.iob"));
    m_editor->setLine(distLine());
    QCOMPARE(edit(0)->minimumWidth(), 10);
    QCOMPARE(edit(0)->maximumWidth(), 50);
}

void tst_frmEditorIOB::tooLongValueRefused_data()
{
    QTest::addColumn<QString>("buttonText");
    QTest::newRow("add") << "Ajouter";
    QTest::newRow("replace") << "Remplacer";
}

void tst_frmEditorIOB::tooLongValueRefused()
{
    QFETCH(QString, buttonText);
    m_editor->setLine(distLine());
    edit(3)->setText(QStringLiteral("12345678901234567"));
    QSignalSpy added(m_editor.get(), &frmEditorIOB::ajoutLigne);
    QSignalSpy replaced(m_editor.get(), &frmEditorIOB::remplaceLigne);

    button(*m_editor, buttonText)->click();
    QCOMPARE(added.count(), 0);
    QCOMPARE(replaced.count(), 0);
    QCOMPARE(m_prompter->messages.size(), 1);
    const MessageRequest &warning = m_prompter->messages.at(0);
    QCOMPARE(warning.kind, MessageKind::Warning);
    QCOMPARE(warning.title, QStringLiteral("Editeur de Champs"));
    QVERIFY2(warning.text.contains(QStringLiteral("\"Observation\"")), qPrintable(warning.text));
    QVERIFY2(warning.text.contains(QStringLiteral("15")), qPrintable(warning.text));
    QVERIFY2(warning.text.contains(QStringLiteral("17")), qPrintable(warning.text));

    // Once the value fits, the line goes out.
    edit(3)->setText(QStringLiteral("123456789012345"));
    button(*m_editor, buttonText)->click();
    QCOMPARE(added.count() + replaced.count(), 1);
    QCOMPARE(m_prompter->messages.size(), 1);
}

void tst_frmEditorIOB::steppingAndQuitting()
{
    QSignalSpy previous(m_editor.get(), &frmEditorIOB::precedenteLigne);
    QSignalSpy next(m_editor.get(), &frmEditorIOB::suivanteLigne);
    button(*m_editor, QStringLiteral("Ligne precedente"))->click();
    button(*m_editor, QStringLiteral("Ligne suivante"))->click();
    button(*m_editor, QStringLiteral("Ligne suivante"))->click();
    QCOMPARE(previous.count(), 1);
    QCOMPARE(next.count(), 2);

    m_editor->show();
    QVERIFY(m_editor->isVisible());
    button(*m_editor, QStringLiteral("Quitter"))->click();
    QVERIFY(!m_editor->isVisible());
    QCOMPARE(m_editor->windowTitle(), QStringLiteral("Editeur de Champs"));
}

void tst_frmEditorIOB::focusedFieldShowsColumnsAndUnit_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("info");

    // Columns of docs/engine.md's record table; a distance in the unit of its line.
    QTest::newRow("station") << 1 << QString::fromUtf8("Station : col. 11–22");
    QTest::newRow("distance")
        << 3
        << QString::fromUtf8(
               "Observation : col. 50–64 ; unité : celle du champ Unité (col. 77–78)");
    QTest::newRow("unit") << 5 << QString::fromUtf8("Unité : col. 77–78 ; unité : m, cm ou mm");
}

void tst_frmEditorIOB::focusedFieldShowsColumnsAndUnit()
{
    QFETCH(int, row);
    QFETCH(QString, info);
    auto *shown = m_editor->findChild<QLabel *>(QStringLiteral("fieldInfo"));
    QVERIFY(shown);
    m_editor->setLine(distLine());
    QWidget *input = edit(row)->isHidden() ? static_cast<QWidget *>(choice(row)) : edit(row);
    QFocusEvent focusIn(QEvent::FocusIn, Qt::TabFocusReason);
    QApplication::sendEvent(input, &focusIn);
    QCOMPARE(shown->text(), info);

    // A comment has no field columns to show.
    m_editor->setLine(QStringLiteral("* texte"));
    QApplication::sendEvent(edit(0), &focusIn);
    QVERIFY(shown->text().isEmpty());
}

void tst_frmEditorIOB::recordsTheEngineCannotReadAreMarked_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<bool>("read");

    // docs/engine.md: the observations, the points on the ellipsoid, in projections and with
    // altitudes, the GNSS vectors, the epochs and the secondary parameters are all read.
    QTest::newRow("DIST") << "DIST" << true;
    QTest::newRow("LENU") << "LENU" << true;
    QTest::newRow("PLH") << "PLH" << true;
    QTest::newRow("PLO") << "PLO" << true;
    QTest::newRow("EPOC") << "EPOC" << true;
    QTest::newRow("DXYZ") << "DXYZ" << true;
    QTest::newRow("AUX") << "AUX" << true;
}

void tst_frmEditorIOB::recordsTheEngineCannotReadAreMarked()
{
    QFETCH(QString, code);
    QFETCH(bool, read);
    m_editor->show();
    auto *note = m_editor->findChild<QLabel *>(QStringLiteral("engineNote"));
    QVERIFY(note);
    m_editor->setLine(placedLine({{2, code}}));
    QCOMPARE(note->isVisible(), !read);
    const int entry = entryOf(code);
    QCOMPARE(selector()->itemData(entry, Qt::ToolTipRole).isValid(), !read);
    QCOMPARE(selector()->itemData(entry, Qt::ForegroundRole).isValid(), !read);
    // The entry's text stays as it was.
    QVERIFY(selector()->itemText(entry).startsWith(code + QLatin1Char(' ')));
    m_editor->setLine(QString());
    QVERIFY(!note->isVisible());
}

QTEST_MAIN(tst_frmEditorIOB)
#include "tst_frmeditoriob.moc"
