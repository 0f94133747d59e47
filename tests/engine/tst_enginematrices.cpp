// The matrix files of a processing, read back by a reader of the Matrix Market format of its own:
// the normal system they hold is that of the design matrix and the weights they hold, their
// solution solves it, the written elements of inv(N) are those of a dense inverse, and the XYZ
// columns of an observed geocentric position hold the derivatives of a coordinate by itself.

#include "engine/api/process.h"
#include "engine/base/text.h"

#include <QtTest>

#include <Eigen/Dense>

#include <fstream>
#include <sstream>

namespace {

struct MatrixFile
{
    bool read = false;
    bool symmetric = false;
    Eigen::MatrixXd values;
    std::vector<std::pair<int, int>> entries; // (row, column) from 0, as written
    std::vector<std::string> columnNames;     // "% C j : name"
};

MatrixFile readMatrixMarket(const QString &path)
{
    MatrixFile m;
    std::ifstream in(path.toStdString(), std::ios::binary);
    std::string line;
    if (!std::getline(in, line) || line.rfind("%%MatrixMarket matrix coordinate real ", 0) != 0)
        return m;
    m.symmetric = line.find("symmetric") != std::string::npos;
    while (std::getline(in, line) && !line.empty() && line[0] == '%') {
        if (line.rfind("% C ", 0) == 0)
            m.columnNames.push_back(line.substr(line.find(" : ") + 3));
    }
    std::istringstream size(line);
    long rows = 0, columns = 0, count = 0;
    if (!(size >> rows >> columns >> count) || rows <= 0 || columns <= 0 || count < 0 ||
        rows > 100000 || columns > 100000)
        return m;
    m.values = Eigen::MatrixXd::Zero(rows, columns);
    for (long k = 0; k < count; ++k) {
        long i = 0, j = 0;
        double value = 0.0;
        if (!(in >> i >> j >> value) || i < 1 || j < 1 || i > rows || j > columns)
            return m;
        m.values(i - 1, j - 1) = value;
        if (m.symmetric)
            m.values(j - 1, i - 1) = value;
        m.entries.emplace_back(static_cast<int>(i - 1), static_cast<int>(j - 1));
    }
    m.read = true;
    return m;
}

double relative(const Eigen::MatrixXd &error, const Eigen::MatrixXd &scale)
{
    return error.norm() / scale.norm();
}

} // namespace

class TestEngineMatrices : public QObject
{
    Q_OBJECT

private slots:
    void normalSystem_data();
    void normalSystem();
};

void TestEngineMatrices::normalSystem_data()
{
    QTest::addColumn<QString>("sample");
    QTest::addColumn<QString>("components");
    QTest::addColumn<QString>("scaling");
    QTest::newRow("local, NEU") << "reseau"
                                << "NEU"
                                << "AUTO";
    QTest::newRow("local, XYZ, scaled") << "reseau"
                                        << "XYZ"
                                        << "TOUJOURS";
    QTest::newRow("ellipsoidal, NEU") << "ellipsoide"
                                      << "NEU"
                                      << "JAMAIS";
    QTest::newRow("ellipsoidal, PLU") << "ellipsoide"
                                      << "PLU"
                                      << "AUTO";
    QTest::newRow("ellipsoidal, XYZ, scaled") << "ellipsoide"
                                              << "XYZ"
                                              << "TOUJOURS";
}

void TestEngineMatrices::normalSystem()
{
    QFETCH(QString, sample);
    QFETCH(QString, components);
    QFETCH(QString, scaling);
    QTemporaryDir dir;
    const QString samples = QStringLiteral(TAVLO_SAMPLES_DIR);
    for (const QString &name : QDir(samples).entryList(QDir::Files))
        QVERIFY(QFile::copy(samples + "/" + name, dir.filePath(name)));
    QFile configuration(dir.filePath(sample + ".cfg"));
    QVERIFY(configuration.open(QIODevice::ReadOnly));
    QString text = QString::fromLatin1(configuration.readAll());
    configuration.close();
    text.replace(QRegularExpression("OUTMAT_CRD [A-Z]+"), "OUTMAT_CRD " + components);
    text.replace(QRegularExpression("OUTMAT_SG0 [A-Z]+"), "OUTMAT_SG0 " + scaling);
    text.replace(QRegularExpression("OUTMAT_ABP [A-Z]+"), "OUTMAT_ABP ALL_ITER");
    text.replace(QRegularExpression("OUTMAT_NC  [A-Z]+"), "OUTMAT_NC  ALL_ITER");
    text.replace(QRegularExpression("OUTMAT_INC [A-Z]+"), "OUTMAT_INC FINAL");
    text.replace(QRegularExpression("OUTMAT_X   [A-Z]+"), "OUTMAT_X   OUI");
    QVERIFY(configuration.open(QIODevice::WriteOnly | QIODevice::Truncate));
    configuration.write(text.toLatin1());
    configuration.close();
    // A file of an iteration the run will not reach, left by an earlier one.
    const QString stale = dir.filePath(sample + "_A_it99.mtx");
    QFile(stale).open(QIODevice::WriteOnly);

    const engine::ProcessSummary summary = engine::processObservationFile(
        dir.filePath(sample + ".iob").toStdString(), dir.filePath(sample + ".cfg").toStdString());
    QVERIFY2(summary.status == 0, summary.message.c_str());
    QVERIFY(!QFile::exists(stale));

    const auto matrix = [&](const char *name) {
        return readMatrixMarket(dir.filePath(sample + "_" + name + ".mtx"));
    };
    const MatrixFile a = matrix("A"), p = matrix("P"), l = matrix("l"), n = matrix("N"),
                     c = matrix("c"), z = matrix("invN"), x = matrix("X");
    for (const MatrixFile *m : {&a, &p, &l, &n, &c, &z, &x})
        QVERIFY(m->read);
    QVERIFY(p.symmetric && n.symmetric && z.symmetric && !a.symmetric);

    // At the adjusted state c = A'Pl is nearly zero, a sum of terms that cancel: it is held
    // against the size of those terms. The first iteration's system is far from it.
    const Eigen::MatrixXd normal = a.values.transpose() * p.values * a.values;
    QVERIFY(relative(n.values - normal, normal) <= 1e-10);
    const Eigen::MatrixXd terms =
        a.values.cwiseAbs().transpose() * (p.values * l.values).cwiseAbs();
    QVERIFY(relative(c.values - a.values.transpose() * p.values * l.values, terms) <= 1e-10);
    QVERIFY((n.values * x.values - c.values).norm() <=
            1e-10 * (n.values.norm() * x.values.norm() + terms.norm()));
    // The weights divided by s0^2 = v'Pv / f leave v'Pv = f, the degrees of freedom.
    const double freedom = static_cast<double>(a.values.rows() - a.values.cols());
    const double weighted = (l.values.transpose() * p.values * l.values)(0, 0);
    if (scaling == QLatin1String("TOUJOURS"))
        QVERIFY(std::fabs(weighted / freedom - 1.0) <= 1e-8);
    if (scaling == QLatin1String("JAMAIS"))
        QVERIFY(std::fabs(weighted / freedom / summary.varianceFactor - 1.0) <= 1e-3);
    const auto first = [&](const char *name) {
        return readMatrixMarket(dir.filePath(sample + "_" + name + "_it1.mtx"));
    };
    const MatrixFile a1 = first("A"), p1 = first("P"), l1 = first("l"), n1 = first("N"),
                     c1 = first("c"), x1 = first("X");
    for (const MatrixFile *m : {&a1, &p1, &l1, &n1, &c1, &x1})
        QVERIFY(m->read);
    const Eigen::MatrixXd normal1 = a1.values.transpose() * p1.values * a1.values;
    QVERIFY(relative(n1.values - normal1, normal1) <= 1e-10);
    QVERIFY(relative(c1.values - a1.values.transpose() * p1.values * l1.values, c1.values) <=
            1e-10);
    QVERIFY(relative(n1.values * x1.values - c1.values, c1.values) <= 1e-10);

    // Every element written is the dense inverse's; the structure of N is covered.
    const Eigen::MatrixXd inverse = n.values.inverse();
    double largest = 0.0;
    for (const auto &[i, j] : z.entries)
        largest = std::max(largest, std::fabs(z.values(i, j) - inverse(i, j)));
    QVERIFY(largest <= 1e-10 * inverse.cwiseAbs().maxCoeff());
    for (const auto &[i, j] : n.entries)
        QVERIFY(std::find(z.entries.begin(), z.entries.end(), std::make_pair(i, j)) !=
                z.entries.end());

    // The observed geocentric position: its X, Y and Z rows hold the identity on the columns
    // X, Y and Z of its point.
    if (sample == QLatin1String("ellipsoide") && components == QLatin1String("XYZ")) {
        const auto columnOf = [&](const std::string &name) {
            const auto at = std::find(a.columnNames.begin(), a.columnNames.end(), name);
            return at == a.columnNames.end() ? -1 : static_cast<int>(at - a.columnNames.begin());
        };
        const int first = columnOf("X ST-ECHALL");
        QVERIFY(first >= 0);
        const Eigen::MatrixXd rows = a.values.middleCols(first, 3);
        int found = 0;
        for (Eigen::Index i = 0; i < rows.rows(); ++i) {
            for (int k = 0; k < 3; ++k) {
                if ((rows.row(i) - Eigen::RowVector3d::Unit(k)).cwiseAbs().maxCoeff() <= 1e-12)
                    ++found;
            }
        }
        QCOMPARE(found, 3);
    }
}

QTEST_APPLESS_MAIN(TestEngineMatrices)
#include "tst_enginematrices.moc"
