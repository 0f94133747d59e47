#include "filesizelimit.h"
#include "textfile.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

class tst_TextFile : public QObject
{
    Q_OBJECT

private slots:
    void roundTrip_data();
    void roundTrip();
    void readMissingFile();
    void writeIntoMissingFolder();
    void failedWriteKeepsOldFile();
    void nonLatin1WrittenAsQuestionMark();
    void firstNonLatin1Character_data();
    void firstNonLatin1Character();

private:
    static QByteArray readBytes(const QString &path);
    static void writeBytes(const QString &path, const QByteArray &bytes);
};

QByteArray tst_TextFile::readBytes(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

void tst_TextFile::writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), qint64(bytes.size()));
}

void tst_TextFile::roundTrip_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("lineEnding");

    QTest::newRow("accents, CRLF")
        << QByteArray("!Relev\xe9 du 12 f\xe9vrier \xe0 l'\xeele\r\n DIST  S01 P\xc9"
                      "1\r\n")
        << QStringLiteral("!Relevé du 12 février à l'île\n DIST  S01 PÉ1\n")
        << int(LineEnding::CrLf);
    QTest::newRow("LF, no final line end")
        << QByteArray(" TITL R\xe9seau\n HI  S01") << QStringLiteral(" TITL Réseau\n HI  S01")
        << int(LineEnding::Lf);
    QTest::newRow("non-breaking space and tab")
        << QByteArray("a\xa0"
                      "b\tc\r\n")
        << QStringLiteral("a\u00a0b\tc\n") << int(LineEnding::CrLf);
    QTest::newRow("empty lines kept")
        << QByteArray("\r\n\r\nx\r\n\r\n") << QStringLiteral("\n\nx\n\n") << int(LineEnding::CrLf);
    QTest::newRow("no line end at all")
        << QByteArray("\xff\xfe") << QStringLiteral("\u00ff\u00fe") << int(platformLineEnding());
    QTest::newRow("empty file") << QByteArray() << QString() << int(platformLineEnding());

    QByteArray everyByte;
    QString everyCharacter;
    for (int c = 1; c < 256; ++c) {
        if (c == '\r' || c == '\n')
            continue;
        everyByte.append(char(c));
        everyCharacter.append(QChar(c));
    }
    QTest::newRow("every byte but line ends") << everyByte + "\n"
                                              << everyCharacter + "\n"
                                              << int(LineEnding::Lf);
}

void tst_TextFile::roundTrip()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QFETCH(int, lineEnding);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString original = dir.filePath("original.iob");
    writeBytes(original, bytes);

    TextFileContent content;
    QString error;
    QVERIFY(readTextFile(original, content, error));
    QCOMPARE(content.text, text);
    QCOMPARE(int(content.lineEnding), lineEnding);

    const QString copy = dir.filePath("copy.iob");
    QVERIFY2(writeTextFile(copy, content, error), qPrintable(error));
    QCOMPARE(readBytes(copy), bytes);
}

void tst_TextFile::readMissingFile()
{
    QTemporaryDir dir;
    TextFileContent content;
    content.text = QStringLiteral("unchanged");
    QString error;
    QVERIFY(!readTextFile(dir.filePath("absent.iob"), content, error));
    QVERIFY(!error.isEmpty());
    QCOMPARE(content.text, QStringLiteral("unchanged"));
}

void tst_TextFile::writeIntoMissingFolder()
{
    QTemporaryDir dir;
    const QString notAFolder = dir.filePath("plain");
    writeBytes(notAFolder, "x");

    QString error;
    QVERIFY(
        !writeTextFile(notAFolder + "/file.iob", {QStringLiteral("a\n"), LineEnding::Lf}, error));
    QVERIFY(!error.isEmpty());
    QCOMPARE(readBytes(notAFolder), QByteArray("x"));
}

void tst_TextFile::failedWriteKeepsOldFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("reseau.iob");
    const QByteArray old(" TITL Ancien\r\n DIST  S01 S02\r\n");
    writeBytes(path, old);

    QString error;
    bool written = true;
    {
        FileSizeLimit limit(16);
        written = writeTextFile(path, {QString(4096, QLatin1Char('x')), LineEnding::CrLf}, error);
    }
    QVERIFY(!written);
    QVERIFY(!error.isEmpty());
    QCOMPARE(readBytes(path), old);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"reseau.iob"});
}

void tst_TextFile::nonLatin1WrittenAsQuestionMark()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("euro.iob");
    QString error;
    QVERIFY(writeTextFile(path, {QStringLiteral("5 €\n"), LineEnding::CrLf}, error));
    QCOMPARE(readBytes(path), QByteArray("5 ?\r\n"));
}

void tst_TextFile::firstNonLatin1Character_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("index");

    QTest::newRow("empty") << QString() << -1;
    QTest::newRow("ASCII") << QStringLiteral(" DIST  S01") << -1;
    QTest::newRow("Latin-1 upper half") << QStringLiteral("éÿ\u00a0") << -1;
    QTest::newRow("euro sign") << QStringLiteral("ab€c€") << 2;
    QTest::newRow("first past Latin-1") << QStringLiteral("ÿ\u0100") << 1;
    QTest::newRow("surrogate pair") << QStringLiteral("a\U0001F600") << 1;
    QTest::newRow("line separator") << QStringLiteral("x\u2028") << 1;
}

void tst_TextFile::firstNonLatin1Character()
{
    QFETCH(QString, text);
    QFETCH(int, index);
    QCOMPARE(::firstNonLatin1Character(text), index);
}

QTEST_GUILESS_MAIN(tst_TextFile)
#include "tst_textfile.moc"
