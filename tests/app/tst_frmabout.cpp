#include "frmabout.h"
#include "productinfo.h"
#include "recordingengine.h"

#include <QAbstractButton>
#include <QLabel>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextEdit>
#include <QtTest>

static void initImages()
{
    Q_INIT_RESOURCE(images);
}

namespace {

// The characters of `document` drawn bold in `colour`, in order.
QString boldInColour(const QTextDocument *document, const QColor &colour)
{
    QString letters;
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            const QTextCharFormat format = fragment.charFormat();
            if (format.fontWeight() >= QFont::Bold && format.foreground().color() == colour)
                letters += fragment.text();
        }
    }
    return letters;
}

} // namespace

class tst_frmAbout : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void title();
    void windowAndPicture();
    void content_data();
    void content();
    void selectableNotEditable();

private:
    QTextEdit *text(frmAbout &box) { return box.findChild<QTextEdit *>(QStringLiteral("text")); }
};

void tst_frmAbout::initTestCase()
{
    initImages();
}

void tst_frmAbout::title()
{
    const QStringList lines = productTitleLines();
    QCOMPARE(lines.size(), 3);
    for (const QString &line : lines) {
        QVERIFY(!line.isEmpty());
        QVERIFY(!line.contains('[') && !line.contains(']'));
    }
    QCOMPARE(productTitle(), lines.join(' '));

    // The product name's letters are marked in the rich text, and only they.
    QTextDocument document;
    document.setHtml(productTitleHtml());
    QCOMPARE(boldInColour(&document, QColor(0xc1, 0x00, 0x2a)), QStringLiteral("TAVLO"));
    QCOMPARE(document.toPlainText(), lines.join(QLatin1Char('\n')));
}

void tst_frmAbout::windowAndPicture()
{
    RecordingEngine engine;
    frmAbout box;
    QCOMPARE(box.windowTitle(), QStringLiteral("A propos de Tavlo"));
    QVERIFY(!box.parent());
    QCOMPARE(box.windowType(), Qt::Tool);
    QVERIFY(box.findChildren<QAbstractButton *>().isEmpty());

    auto *picture = box.findChild<QLabel *>(QStringLiteral("picture"));
    QVERIFY(picture);
    QCOMPARE(picture->minimumSize(), QSize(250, 220));
    QCOMPARE(picture->maximumSize(), QSize(250, 220));
    QVERIFY(picture->hasScaledContents());
    const QPixmap shown = picture->pixmap(Qt::ReturnByValue);
    QVERIFY(!shown.isNull());
    QCOMPARE(shown.toImage(), QPixmap(QStringLiteral(":/images/tavlo.png")).toImage());

    // The whole text shows at once: no line wrapped, nothing to scroll.
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    int lines = 0;
    for (QTextBlock block = text(box)->document()->begin(); block.isValid(); block = block.next())
        lines += block.layout()->lineCount();
    QCOMPARE(lines, 9);
    QVERIFY(!text(box)->verticalScrollBar()->isVisible());
    QVERIFY(!text(box)->horizontalScrollBar()->isVisible());

    QCOMPARE(text(box)->font().family(), QStringLiteral("Arial"));
    QCOMPARE(text(box)->font().pointSize(), 12);
    QVERIFY(text(box)->font().fixedPitch());
}

void tst_frmAbout::content_data()
{
    QTest::addColumn<int>("engine");
    QTest::addColumn<QByteArray>("version");
    QTest::addColumn<QString>("shown");

    // engine: 0 the recording engine, 1 a library without entry points, 2 not a library.
    QTest::newRow("engine version") << 0 << QByteArray("Tavlo 2.3.1 (x64)") << "Tavlo 2.3.1 (x64)";
    QTest::newRow("longest version")
        << 0 << QByteArray("12345678901234567890123") << "12345678901234567890123";
    QTest::newRow("entry point missing") << 1 << QByteArray() << "";
    QTest::newRow("library missing") << 2 << QByteArray() << "";
}

void tst_frmAbout::content()
{
    QFETCH(int, engine);
    QFETCH(QByteArray, version);
    QFETCH(QString, shown);

    RecordingEngine recorder;
    recorder.setVersion(version);
    if (engine == 1)
        qputenv("TAVLO_ENGINE", QFile::encodeName(RecordingEngine::noEntryLibraryPath()));
    if (engine == 2) {
        const QString fake = recorder.folder() + QStringLiteral("/libtavlo.so");
        QFile file(fake);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("not a library");
        file.close();
        qputenv("TAVLO_ENGINE", QFile::encodeName(fake));
    }

    frmAbout box;
    const QStringList lines = text(box)->toPlainText().split(QLatin1Char('\n'));
    const QStringList title = productTitleLines();
    QCOMPARE(lines.mid(0, 3), title);
    QCOMPARE(lines.value(3), QString());
    QCOMPARE(lines.value(4), productAuthorLine());
    QCOMPARE(lines.value(5), productLaboratoryLine());
    QCOMPARE(lines.value(6), QString());
    QCOMPARE(lines.value(7).trimmed(), (QStringLiteral("Version DLL : ") + shown).trimmed());
    QCOMPARE(lines.value(8).simplified(), QStringLiteral("Version IHM : 2017.02.14"));
    QCOMPARE(lines.size(), 9);

    QCOMPARE(boldInColour(text(box)->document(), QColor(0xc1, 0x00, 0x2a)),
             QStringLiteral("TAVLO"));
    // The author and laboratory lines are in italics.
    const QTextCursor author = text(box)->document()->find(productAuthorLine());
    QVERIFY(!author.isNull());
    QVERIFY(author.charFormat().fontItalic());
}

void tst_frmAbout::selectableNotEditable()
{
    RecordingEngine engine;
    frmAbout box;
    QTextEdit *view = text(box);
    QVERIFY(view->isReadOnly());
    QVERIFY(view->textInteractionFlags() & Qt::TextSelectableByMouse);
    QVERIFY(!(view->textInteractionFlags() & Qt::TextEditable));

    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    const QString before = view->toPlainText();
    view->setFocus();
    view->selectAll();
    QTest::keyClicks(view, QStringLiteral("x"));
    QTest::keyClick(view, Qt::Key_Delete);
    QCOMPARE(view->toPlainText(), before);
    QVERIFY(view->textCursor().hasSelection());
}

QTEST_MAIN(tst_frmAbout)
#include "tst_frmabout.moc"
