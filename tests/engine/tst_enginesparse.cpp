// The supernodal sparse Cholesky factorization and the selected inversion, checked against dense
// factorizations and inverses of the same matrices.

#include "engine/estimation/adjustment.h"
#include "engine/solver/selectedinversion.h"
#include "engine/solver/supernodalcholesky.h"

#include <QtTest>

#include <Eigen/Dense>

#include <algorithm>
#include <memory>
#include <numeric>
#include <random>
#include <stdexcept>

namespace {

constexpr double kSolveTol = 1e-9;   // relative error of a solution
constexpr double kInverseTol = 1e-9; // error of an entry of the inverse, relative to its diagonal

enum class Order { MinimumDegree, Natural, Shuffled };

// A symmetric positive definite matrix with a unit diagonal whose pattern is that of a chain of
// `width`-wide cliques (like a strip of points and their neighbours) plus random far couplings.
Eigen::SparseMatrix<double> testMatrix(int n, int width, int far, unsigned seed)
{
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> value(-1.0, 1.0);
    std::uniform_int_distribution<int> index(0, n - 1);
    // A' A of a random sparse A, plus a ridge, is positive definite.
    std::vector<Eigen::Triplet<double>> rows;
    int row = 0;
    for (int j = 0; j + width <= n; ++j, ++row) {
        for (int c = 0; c < width; ++c)
            rows.emplace_back(row, j + c, value(random));
    }
    for (int f = 0; f < far; ++f, ++row) {
        rows.emplace_back(row, index(random), value(random));
        rows.emplace_back(row, index(random), value(random));
    }
    Eigen::SparseMatrix<double> a(row, n);
    a.setFromTriplets(rows.begin(), rows.end());
    Eigen::SparseMatrix<double> normal = a.transpose() * a;
    for (int j = 0; j < n; ++j)
        normal.coeffRef(j, j) += 0.05;
    Eigen::VectorXd scale(n);
    for (int j = 0; j < n; ++j)
        scale(j) = 1.0 / std::sqrt(normal.coeff(j, j));
    return scale.asDiagonal() * normal * scale.asDiagonal();
}

std::vector<int> orderFor(Order order, int n, unsigned seed)
{
    std::vector<int> position(static_cast<std::size_t>(n));
    std::iota(position.begin(), position.end(), 0);
    if (order == Order::MinimumDegree)
        return {};
    if (order == Order::Shuffled)
        std::shuffle(position.begin(), position.end(), std::mt19937(seed));
    return position;
}

} // namespace

class TestEngineSparse : public QObject
{
    Q_OBJECT

private slots:
    void factorMatchesDense_data();
    void factorMatchesDense();
    void singularMatrixShowsTinyPivots();
    void analysisIsSharedAndRedoneWhenThePatternGrows();
    void factorizationWorkCountsTheFill();
    void factorizationWorkOfRandomPatterns_data();
    void factorizationWorkOfRandomPatterns();
    void normalMatrixAddedUpOnThePattern();
    void designChangesHandsWithoutACopy();
    void inverseOverTheFactor_data();
    void inverseOverTheFactor();
    void rowSoughtFromTheLastFound();
};

void TestEngineSparse::factorMatchesDense_data()
{
    QTest::addColumn<int>("n");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("far");
    QTest::addColumn<int>("order");
    QTest::newRow("one unknown") << 1 << 1 << 0 << int(Order::Natural);
    QTest::newRow("dense 60") << 60 << 60 << 0 << int(Order::MinimumDegree);
    QTest::newRow("band, natural order") << 300 << 7 << 0 << int(Order::Natural);
    QTest::newRow("band and far couplings, minimum degree")
        << 400 << 5 << 80 << int(Order::MinimumDegree);
    QTest::newRow("band and far couplings, shuffled order")
        << 250 << 4 << 40 << int(Order::Shuffled);
    QTest::newRow("diagonal") << 50 << 1 << 0 << int(Order::MinimumDegree);
    QTest::newRow("wide blocks, panels of several widths")
        << 500 << 120 << 10 << int(Order::Natural);
}

void TestEngineSparse::factorMatchesDense()
{
    QFETCH(int, n);
    QFETCH(int, width);
    QFETCH(int, far);
    QFETCH(int, order);
    const Eigen::SparseMatrix<double> matrix = testMatrix(n, width, far, 11u + unsigned(n));
    engine::NormalFactor factor;
    factor.scale = Eigen::VectorXd::Ones(n);
    factor.solver.setOrdering(orderFor(static_cast<Order>(order), n, 5u));
    factor.solver.compute(matrix);
    QCOMPARE(factor.solver.info(), Eigen::Success);
    for (Eigen::Index j = 0; j < n; ++j)
        QVERIFY(factor.solver.vectorD()(j) > engine::kPivotTolerance);

    const Eigen::MatrixXd dense = matrix;
    const Eigen::MatrixXd inverse = dense.inverse();
    const Eigen::VectorXd b = Eigen::VectorXd::LinSpaced(n, -1.0, 2.0);
    const Eigen::VectorXd x = factor.solver.solve(b);
    QVERIFY((dense * x - b).norm() <= kSolveTol * b.norm());

    const engine::SelectedInverse selected(factor);
    int onPattern = 0;
    for (int j = 0; j < n; ++j) {
        for (int i = 0; i < n; ++i) {
            const std::optional<double> z = selected.entry(i, j);
            if (!z)
                continue;
            ++onPattern;
            const double tolerance = kInverseTol * std::sqrt(inverse(i, i) * inverse(j, j));
            QVERIFY2(std::fabs(*z - inverse(i, j)) <= tolerance,
                     qPrintable(QString("entry %1 %2").arg(i).arg(j)));
        }
    }
    // Every entry of the matrix lies on the pattern of its factor.
    for (int j = 0; j < n; ++j) {
        for (Eigen::SparseMatrix<double>::InnerIterator it(matrix, j); it; ++it)
            QVERIFY(selected.entry(static_cast<int>(it.row()), j).has_value());
    }
    QVERIFY(onPattern >= matrix.nonZeros());
    // A block with entries off the pattern is completed by solves.
    const std::vector<int> unknowns = {0, n / 2, n - 1, -1};
    const Eigen::MatrixXd block = selected.block(unknowns);
    for (int a = 0; a < 3; ++a) {
        for (int b = 0; b < 3; ++b) {
            const int i = unknowns[a];
            const int j = unknowns[b];
            QVERIFY(std::fabs(block(a, b) - inverse(i, j)) <=
                    kInverseTol * std::sqrt(inverse(i, i) * inverse(j, j)));
        }
        QCOMPARE(block(a, 3), 0.0);
        QCOMPARE(block(3, a), 0.0);
    }
}

void TestEngineSparse::singularMatrixShowsTinyPivots()
{
    // Two unknowns that only their difference determines, beside a well determined one.
    Eigen::MatrixXd dense(3, 3);
    dense << 1.0, -1.0, 0.0, -1.0, 1.0, 0.0, 0.0, 0.0, 1.0;
    const Eigen::SparseMatrix<double> matrix = dense.sparseView();
    engine::SupernodalCholesky solver;
    solver.compute(matrix);
    QCOMPARE(solver.info(), Eigen::Success);
    int tiny = 0;
    for (Eigen::Index k = 0; k < 3; ++k)
        tiny += solver.vectorD()(k) > engine::kPivotTolerance ? 0 : 1;
    QCOMPARE(tiny, 1);
    QVERIFY(solver.solve(Eigen::VectorXd::Ones(3)).allFinite());
}

void TestEngineSparse::analysisIsSharedAndRedoneWhenThePatternGrows()
{
    const int n = 120;
    const Eigen::SparseMatrix<double> band = testMatrix(n, 3, 0, 3u);
    engine::SupernodalCholesky first;
    first.compute(band);
    const auto analysis = first.analysis();
    QVERIFY(analysis);

    engine::SupernodalCholesky second;
    second.setAnalysis(analysis);
    const Eigen::SparseMatrix<double> scaled = 2.0 * band;
    second.compute(scaled);
    QCOMPARE(second.analysis(), analysis);
    const Eigen::VectorXd b = Eigen::VectorXd::Ones(n);
    QVERIFY((Eigen::MatrixXd(scaled) * second.solve(b) - b).norm() <= kSolveTol * b.norm());

    // A coupling outside the analysed pattern needs a new analysis.
    Eigen::SparseMatrix<double> grown = band;
    grown.coeffRef(n - 1, 0) = 0.01;
    grown.coeffRef(0, n - 1) = 0.01;
    engine::SupernodalCholesky third;
    third.setAnalysis(analysis);
    third.compute(grown);
    QVERIFY(third.analysis() != analysis);
    QVERIFY((Eigen::MatrixXd(grown) * third.solve(b) - b).norm() <= kSolveTol * b.norm());
}

void TestEngineSparse::factorizationWorkCountsTheFill()
{
    // An arrow matrix: the hub first fills everything (n columns of n - j entries), the hub last
    // fills nothing (n - 1 columns of 2 entries and one of 1).
    const int n = 10;
    Eigen::SparseMatrix<double> arrow(n, n);
    for (int j = 0; j < n; ++j) {
        arrow.insert(j, j) = 4.0;
        if (j > 0)
            arrow.insert(j, 0) = 1.0;
    }
    std::vector<int> hubFirst(n);
    std::iota(hubFirst.begin(), hubFirst.end(), 0);
    std::vector<int> hubLast = hubFirst;
    hubLast[0] = n - 1;
    for (int j = 1; j < n; ++j)
        hubLast[static_cast<std::size_t>(j)] = j - 1;
    double full = 0.0;
    for (int j = 0; j < n; ++j)
        full += double(n - j) * double(n - j);
    QCOMPARE(engine::factorizationWork(arrow, hubFirst), full);
    QCOMPARE(engine::factorizationWork(arrow, hubLast), 4.0 * (n - 1) + 1.0);
}

void TestEngineSparse::factorizationWorkOfRandomPatterns_data()
{
    QTest::addColumn<int>("n");
    QTest::addColumn<double>("density");
    QTest::addColumn<unsigned>("seed");

    QTest::newRow("sparse, many trees") << 60 << 0.02 << 11u;
    QTest::newRow("sparse") << 120 << 0.04 << 12u;
    QTest::newRow("denser") << 90 << 0.15 << 13u;
    QTest::newRow("nearly full") << 40 << 0.7 << 14u;
}

void TestEngineSparse::factorizationWorkOfRandomPatterns()
{
    QFETCH(int, n);
    QFETCH(double, density);
    QFETCH(unsigned, seed);

    std::mt19937 random(seed);
    std::bernoulli_distribution coupled(density);
    std::vector<std::vector<bool>> pattern(static_cast<std::size_t>(n),
                                           std::vector<bool>(static_cast<std::size_t>(n)));
    Eigen::SparseMatrix<double> matrix(n, n);
    for (int j = 0; j < n; ++j) {
        matrix.insert(j, j) = 1.0;
        for (int i = j + 1; i < n; ++i) {
            if (coupled(random)) {
                matrix.insert(i, j) = 1.0;
                pattern[static_cast<std::size_t>(i)][static_cast<std::size_t>(j)] = true;
            }
        }
    }
    std::vector<int> position(static_cast<std::size_t>(n));
    std::iota(position.begin(), position.end(), 0);
    std::shuffle(position.begin(), position.end(), random);

    // The fill by eliminating a dense boolean copy in the order: column k of L holds the rows
    // below k coupled to k once the columns before it are eliminated.
    std::vector<std::vector<bool>> filled(static_cast<std::size_t>(n),
                                          std::vector<bool>(static_cast<std::size_t>(n)));
    for (int i = 0; i < n; ++i) {
        for (int j = 0; j < i; ++j) {
            if (pattern[static_cast<std::size_t>(i)][static_cast<std::size_t>(j)]) {
                const int a = position[static_cast<std::size_t>(i)];
                const int b = position[static_cast<std::size_t>(j)];
                filled[static_cast<std::size_t>(std::max(a, b))]
                      [static_cast<std::size_t>(std::min(a, b))] = true;
            }
        }
    }
    double work = 0.0;
    for (int k = 0; k < n; ++k) {
        std::vector<int> below;
        for (int i = k + 1; i < n; ++i) {
            if (filled[static_cast<std::size_t>(i)][static_cast<std::size_t>(k)])
                below.push_back(i);
        }
        for (int a : below)
            for (int b : below)
                if (b < a)
                    filled[static_cast<std::size_t>(a)][static_cast<std::size_t>(b)] = true;
        work += (below.size() + 1.0) * (below.size() + 1.0);
    }
    QCOMPARE(engine::factorizationWork(matrix, position), work);
}

void TestEngineSparse::normalMatrixAddedUpOnThePattern()
{
    // Rows of three neighbouring unknowns of a chain, then one far coupling that the pattern
    // analysed from the chain does not hold.
    const int n = 60;
    std::vector<Eigen::Triplet<double>> entries;
    std::mt19937 random(17u);
    std::uniform_real_distribution<double> value(-2.0, 2.0);
    for (int row = 0; row + 2 < n; ++row)
        for (int c = 0; c < 3; ++c)
            entries.emplace_back(row, row + c, value(random));
    // One row per unknown alone, so that the matrix is regular.
    for (int j = 0; j < n; ++j)
        entries.emplace_back(n - 2 + j, j, 0.3);
    const int rows = 2 * n - 2;
    engine::SupernodalCholesky::Design design(rows, n);
    design.setFromTriplets(entries.begin(), entries.end());
    const Eigen::VectorXd weights = Eigen::VectorXd::LinSpaced(rows, 1.0, 4.0);
    const Eigen::VectorXd scale = Eigen::VectorXd::LinSpaced(n, 0.5, 1.5);
    const Eigen::MatrixXd dense = scale.asDiagonal() * Eigen::MatrixXd(design).transpose() *
                                  weights.asDiagonal() * Eigen::MatrixXd(design) *
                                  scale.asDiagonal();
    const Eigen::MatrixXd pattern = Eigen::MatrixXd(design).transpose() * Eigen::MatrixXd(design);

    engine::SupernodalCholesky solver;
    QVERIFY(!solver.computeNormal(design, weights, scale)); // nothing analysed yet
    solver.analyzePattern(pattern.sparseView());
    QVERIFY(solver.computeNormal(design, weights, scale));
    QCOMPARE(solver.info(), Eigen::Success);
    const Eigen::VectorXd b = Eigen::VectorXd::LinSpaced(n, 1.0, -1.0);
    QVERIFY((dense * solver.solve(b) - b).norm() <= kSolveTol * b.norm());

    entries.emplace_back(rows, 0, 1.0);
    entries.emplace_back(rows, n - 1, 1.0);
    engine::SupernodalCholesky::Design wider(rows + 1, n);
    wider.setFromTriplets(entries.begin(), entries.end());
    QVERIFY(!solver.computeNormal(wider, Eigen::VectorXd::Ones(rows + 1), scale));

    // That coupling closes the chain into a ring, which, eliminated in its natural order, fills
    // the last row of L: a row coupling the last unknown with the middle one lies in the factor,
    // though not in the pattern analysed, and is added up there.
    engine::SupernodalCholesky ring;
    std::vector<int> natural(static_cast<std::size_t>(n));
    std::iota(natural.begin(), natural.end(), 0);
    ring.setOrdering(natural);
    ring.analyzePattern((Eigen::MatrixXd(wider).transpose() * Eigen::MatrixXd(wider)).sparseView());
    entries.emplace_back(rows + 1, n / 2, 0.7);
    entries.emplace_back(rows + 1, n - 1, -1.1);
    engine::SupernodalCholesky::Design filled(rows + 2, n);
    filled.setFromTriplets(entries.begin(), entries.end());
    const Eigen::VectorXd ones = Eigen::VectorXd::Ones(rows + 2);
    QVERIFY(ring.computeNormal(filled, ones, scale));
    const Eigen::MatrixXd filledDense = scale.asDiagonal() * Eigen::MatrixXd(filled).transpose() *
                                        Eigen::MatrixXd(filled) * scale.asDiagonal();
    QVERIFY((filledDense * ring.solve(b) - b).norm() <= kSolveTol * b.norm());
}

void TestEngineSparse::designChangesHandsWithoutACopy()
{
    // Eigen's sparse matrices copy their storage when moved; the design, after the factor the
    // largest matrix of an adjustment, must pass from the last linearisation to the outcome and
    // on to the caller without being held twice.
    engine::DesignMatrix design(3, 2);
    design.insert(0, 0) = 1.0;
    design.insert(2, 1) = 2.0;
    design.makeCompressed();
    const double *values = design.valuePtr();
    engine::DesignMatrix moved(std::move(design));
    QCOMPARE(moved.valuePtr(), values);
    engine::AdjustmentOutcome outcome;
    outcome.design = engine::DesignMatrix(5, 5);
    outcome.design = std::move(moved);
    engine::AdjustmentOutcome caller;
    caller = std::move(outcome);
    QCOMPARE(caller.design.valuePtr(), values);
    QCOMPARE(caller.design.rows(), Eigen::Index(3));
    QCOMPARE(caller.design.coeff(2, 1), 2.0);
    QCOMPARE(outcome.design.nonZeros(), Eigen::Index(0));
}

void TestEngineSparse::inverseOverTheFactor_data()
{
    QTest::addColumn<int>("n");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("far");
    QTest::addColumn<int>("order");
    QTest::addColumn<int>("frontBlock");
    QTest::newRow("band and far couplings, minimum degree")
        << 400 << 5 << 80 << int(Order::MinimumDegree) << 0;
    QTest::newRow("wide blocks split in fronts of 8 columns")
        << 300 << 40 << 20 << int(Order::Natural) << 8;
    QTest::newRow("shuffled order, fronts of 8 columns")
        << 250 << 6 << 60 << int(Order::Shuffled) << 8;
}

// The inverse written over the factor's storage is the one kept beside it, entry for entry, and
// the dense inverse; the factor is gone after it, and a new factorization brings it back.
void TestEngineSparse::inverseOverTheFactor()
{
    QFETCH(int, n);
    QFETCH(int, width);
    QFETCH(int, far);
    QFETCH(int, order);
    QFETCH(int, frontBlock);
    engine::setFrontBlockSize(frontBlock);
    const Eigen::SparseMatrix<double> matrix = testMatrix(n, width, far, 23u + unsigned(n));
    const Eigen::MatrixXd inverse =
        Eigen::MatrixXd(matrix).ldlt().solve(Eigen::MatrixXd::Identity(n, n));
    const auto factored = [&] {
        auto factor = std::make_unique<engine::NormalFactor>();
        factor->scale = Eigen::VectorXd::Ones(n);
        factor->solver.setOrdering(orderFor(static_cast<Order>(order), n, 7u));
        factor->solver.compute(matrix);
        return factor;
    };
    const auto kept = factored();
    const auto taken = factored();
    const engine::SelectedInverse beside(*kept);
    const engine::SelectedInverse over(*taken, nullptr, engine::InverseStorage::OverFactor);
    engine::setFrontBlockSize(0);
    QCOMPARE(taken->solver.values().size(), Eigen::Index(0));
    int onPattern = 0;
    std::vector<int> offPattern;
    for (int j = 0; j < n; ++j) {
        for (int i = j; i < n; ++i) {
            const std::optional<double> z = over.entry(i, j);
            QCOMPARE(z.has_value(), beside.entry(i, j).has_value());
            if (!z) {
                offPattern = {i, j};
                continue;
            }
            ++onPattern;
            QVERIFY2(*z == *beside.entry(i, j), qPrintable(QString("entry %1 %2").arg(i).arg(j)));
            QVERIFY(std::fabs(*z - inverse(i, j)) <=
                    kInverseTol * std::sqrt(inverse(i, i) * inverse(j, j)));
        }
    }
    QVERIFY(onPattern > n);

    // Without the factor, no solve and no entry off the pattern; on it, blocks as before.
    const Eigen::VectorXd b = Eigen::VectorXd::LinSpaced(n, -1.0, 1.0);
    QVERIFY_EXCEPTION_THROWN(taken->solver.solve(b), std::logic_error);
    QVERIFY(!offPattern.empty());
    QVERIFY_EXCEPTION_THROWN(over.block(offPattern), std::logic_error);
    QVERIFY(over.block({0, 1}) == beside.block({0, 1}));
    // The rows of a supernode are joined two by two in the factor: their block, asked in any
    // order, holds the entries one by one.
    const auto &nodes = taken->solver.supernodes();
    const auto widest =
        std::max_element(nodes.begin(), nodes.end(),
                         [](const auto &x, const auto &y) { return x.rowCount < y.rowCount; });
    std::vector<int> unknownAt(static_cast<std::size_t>(n));
    for (int j = 0; j < n; ++j)
        unknownAt[static_cast<std::size_t>(taken->solver.permutationP().indices()(j))] = j;
    std::vector<int> clique = {-1};
    for (int t = 0; t < widest->rowCount; ++t)
        clique.push_back(unknownAt[static_cast<std::size_t>(
            taken->solver.rows()[static_cast<std::size_t>(widest->rowStart + t)])]);
    clique.push_back(clique[1]);
    std::shuffle(clique.begin(), clique.end(), std::mt19937(3u));
    const Eigen::MatrixXd block = over.block(clique);
    for (std::size_t a = 0; a < clique.size(); ++a) {
        for (std::size_t b = 0; b < clique.size(); ++b) {
            const std::optional<double> z =
                clique[a] < 0 || clique[b] < 0 ? 0.0 : over.entry(clique[a], clique[b]);
            QVERIFY(z.has_value());
            QCOMPARE(block(Eigen::Index(a), Eigen::Index(b)), *z);
        }
    }

    // The analysis serves the next factorization.
    taken->solver.compute(matrix);
    QCOMPARE(taken->solver.info(), Eigen::Success);
    QVERIFY((Eigen::MatrixXd(matrix) * taken->solver.solve(b) - b).norm() <= kSolveTol * b.norm());
}

void TestEngineSparse::rowSoughtFromTheLastFound()
{
    // The search that gallops from where the last one ended finds what a binary search finds,
    // wherever the row lies: before the rows, among them, between two, past the last.
    std::mt19937 random(7);
    for (int size : {0, 1, 2, 3, 7, 8, 9, 64, 1000}) {
        std::vector<int> rows(static_cast<std::size_t>(size));
        int next = 0;
        for (int &row : rows)
            row = next += 1 + static_cast<int>(random() % 4);
        const int *begin = rows.data();
        const int *end = begin + size;
        for (int start = 0; start <= size; ++start) {
            for (int row = -1; row <= next + 1; ++row) {
                const int *from = begin + start;
                QCOMPARE(engine::seekRow(from, end, row) - begin,
                         std::lower_bound(from, end, row) - begin);
            }
        }
    }
}

QTEST_GUILESS_MAIN(TestEngineSparse)
#include "tst_enginesparse.moc"
