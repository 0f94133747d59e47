#include "ficwriter.h"

#include <QDir>
#include <QFile>
#include <QMimeDatabase>
#include <QTemporaryDir>
#include <QtTest>

// The installed MIME types, read by Qt's MIME database the way a desktop reads them: the files of
// an adjustment by their names, configurations and result files also by their first bytes.
class tst_MimeTypes : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void byName_data();
    void byName();
    void byContent_data();
    void byContent();

private:
    QString write(const QString &name, const QByteArray &bytes);

    QTemporaryDir m_data;
    QTemporaryDir m_files;
};

void tst_MimeTypes::initTestCase()
{
    QVERIFY(m_data.isValid() && m_files.isValid());
    QVERIFY(QDir(m_data.path()).mkpath(QStringLiteral("mime/packages")));
    QVERIFY(QFile::copy(QStringLiteral(TAVLO_PACKAGING_DIR "/fr.tavlo.Tavlo.xml"),
                        m_data.filePath(QStringLiteral("mime/packages/fr.tavlo.Tavlo.xml"))));
    // Read before the database's first use; the system's types stay, for text/plain.
    qputenv("XDG_DATA_HOME", QFile::encodeName(m_data.path()));
    QVERIFY(
        QMimeDatabase().mimeTypeForName(QStringLiteral("application/x-tavlo-results")).isValid());
}

QString tst_MimeTypes::write(const QString &name, const QByteArray &bytes)
{
    const QString path = m_files.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        return QString();
    return path;
}

void tst_MimeTypes::byName_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("type");
    QTest::addColumn<bool>("text");
    QTest::newRow("observations") << "net.iob"
                                  << "application/x-tavlo-observations" << true;
    QTest::newRow("upper case") << "NET.IOB"
                                << "application/x-tavlo-observations" << true;
    QTest::newRow("configuration") << "net.cfg"
                                   << "application/x-tavlo-configuration" << true;
    QTest::newRow("results") << "net.fic"
                             << "application/x-tavlo-results" << false;
    QTest::newRow("drawing") << "net.drw"
                             << "application/x-tavlo-drawing" << false;
}

void tst_MimeTypes::byName()
{
    QFETCH(QString, name);
    QFETCH(QString, type);
    QFETCH(bool, text);
    const QMimeType found = QMimeDatabase().mimeTypeForFile(name, QMimeDatabase::MatchExtension);
    QCOMPARE(found.name(), type);
    QCOMPARE(found.inherits(QStringLiteral("text/plain")), text);
}

void tst_MimeTypes::byContent_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("type");

    QFile sample(QStringLiteral(TAVLO_SAMPLES_DIR "/reseau.cfg"));
    QVERIFY(sample.open(QIODevice::ReadOnly));
    QTest::newRow("configuration") << sample.readAll() << "application/x-tavlo-configuration";

    const FicWriter adjusted = FicWriter::sample(5);
    QTest::newRow("adjustment") << adjusted.bytes() << "application/x-tavlo-results";
    FicWriter failed;
    failed.status = 1;
    failed.calculationCode = 4;
    QTest::newRow("failed run") << failed.bytes() << "application/x-tavlo-results";
    FicWriter unknownCode;
    unknownCode.calculationCode = 7;
    QTest::newRow("unknown computation") << unknownCode.bytes() << "application/octet-stream";
    QTest::newRow("zeros") << QByteArray(64, '\0') << "application/octet-stream";
}

void tst_MimeTypes::byContent()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, type);
    // No extension, so that only the content speaks.
    const QString path = write(QStringLiteral("unnamed"), bytes);
    QVERIFY(!path.isEmpty());
    QCOMPARE(QMimeDatabase().mimeTypeForFile(path, QMimeDatabase::MatchContent).name(), type);
}

QTEST_MAIN(tst_MimeTypes)
#include "tst_mimetypes.moc"
