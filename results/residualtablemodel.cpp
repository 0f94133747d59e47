#include "residualtablemodel.h"

#include "observationtexts.h"

#include <QColor>
#include <QHash>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numeric>
#include <vector>

namespace {

constexpr int kNormalizedDecimals = 3;

bool isAsciiDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

// Compares the digit runs starting at `i` of `a` and `j` of `b` as whole numbers, moving both
// past their runs.
int compareNumbers(const QString &a, int &i, const QString &b, int &j)
{
    const auto skipZeros = [](const QString &s, int &k) {
        while (k < s.size() && s.at(k) == QLatin1Char('0'))
            ++k;
    };
    skipZeros(a, i);
    skipZeros(b, j);
    int endA = i;
    while (endA < a.size() && isAsciiDigit(a.at(endA)))
        ++endA;
    int endB = j;
    while (endB < b.size() && isAsciiDigit(b.at(endB)))
        ++endB;
    int result = (endA - i) - (endB - j);
    for (int k = 0; result == 0 && k < endA - i; ++k)
        result = a.at(i + k).unicode() - b.at(j + k).unicode();
    i = endA;
    j = endB;
    return result;
}

int naturalCompare(const QString &a, const QString &b)
{
    int i = 0;
    int j = 0;
    while (i < a.size() && j < b.size()) {
        if (isAsciiDigit(a.at(i)) && isAsciiDigit(b.at(j))) {
            const int numbers = compareNumbers(a, i, b, j);
            if (numbers != 0)
                return numbers;
            continue;
        }
        const QChar ca = a.at(i).toCaseFolded();
        const QChar cb = b.at(j).toCaseFolded();
        if (ca != cb)
            return ca.unicode() - cb.unicode();
        ++i;
        ++j;
    }
    if (i < a.size() || j < b.size())
        return i < a.size() ? 1 : -1;
    return QString::compare(a, b);
}

bool isTextColumn(int column)
{
    return column == ResidualTableModel::KindColumn ||
           column == ResidualTableModel::StationColumn ||
           column == ResidualTableModel::TargetColumn;
}

const QString &textOf(const FicObservation &observation, int column)
{
    switch (column) {
    case ResidualTableModel::KindColumn:
        return observation.typeLabel;
    case ResidualTableModel::StationColumn:
        return observation.station;
    default:
        return observation.target;
    }
}

double numberOf(const FicObservation &observation, int column)
{
    switch (column) {
    case ResidualTableModel::RankColumn:
        return observation.rank;
    case ResidualTableModel::ValueColumn:
        return observation.value;
    case ResidualTableModel::ResidualColumn:
        return observation.residual;
    case ResidualTableModel::NormalizedResidualColumn:
        return observation.normalizedResidual;
    case ResidualTableModel::RedundancyColumn:
        return observation.reliability;
    default:
        return observation.valid ? 1.0 : 0.0;
    }
}

// The bits of `number` as an unsigned integer in the order of the numbers.
quint64 orderedBits(double number)
{
    quint64 bits = 0;
    std::memcpy(&bits, &number, sizeof bits);
    return bits >> 63 ? ~bits : bits | quint64(1) << 63;
}

// Sorts `rows` by their `keys`, stably: a least-significant-digit radix sort, which reads and
// writes memory in long runs where a comparison sort of a million rows jumps about it.
void radixSort(std::vector<quint64> &keys, QVector<int> &rows)
{
    constexpr int kDigitBits = 11;
    constexpr quint64 kDigitMask = (quint64(1) << kDigitBits) - 1;
    const std::size_t n = keys.size();
    std::vector<quint64> keysOut(n);
    std::vector<int> rowsIn(rows.cbegin(), rows.cend());
    std::vector<int> rowsOut(n);
    for (int shift = 0; shift < 64; shift += kDigitBits) {
        std::vector<std::size_t> starts((kDigitMask + 1) + 1, 0);
        for (quint64 key : keys)
            ++starts[((key >> shift) & kDigitMask) + 1];
        // A digit that all keys share leaves the order as it is.
        if (std::find(starts.cbegin(), starts.cend(), n) != starts.cend())
            continue;
        std::partial_sum(starts.begin(), starts.end(), starts.begin());
        for (std::size_t k = 0; k < n; ++k) {
            const std::size_t to = starts[(keys[k] >> shift) & kDigitMask]++;
            keysOut[to] = keys[k];
            rowsOut[to] = rowsIn[k];
        }
        keys.swap(keysOut);
        rowsIn.swap(rowsOut);
    }
    std::copy(rowsIn.cbegin(), rowsIn.cend(), rows.begin());
}

QStringList distinctTexts(const QVector<FicObservation> &observations, int column)
{
    QHash<QString, bool> seen;
    QStringList texts;
    for (const FicObservation &observation : observations) {
        const QString &text = textOf(observation, column);
        if (!seen.contains(text)) {
            seen.insert(text, true);
            texts.append(text);
        }
    }
    std::sort(texts.begin(), texts.end(), naturalLess);
    return texts;
}

} // namespace

bool naturalLess(const QString &a, const QString &b)
{
    return naturalCompare(a, b) < 0;
}

ResidualTableModel::ResidualTableModel(QObject *parent)
    : QAbstractTableModel(parent)
{}

void ResidualTableModel::setResult(const FicResult &result)
{
    beginResetModel();
    m_result = result;
    m_filter = ResidualFilter();
    m_sortColumn = -1;
    m_sortOrder = Qt::AscendingOrder;
    rebuildRows();
    endResetModel();
}

void ResidualTableModel::setFilter(const ResidualFilter &filter)
{
    beginResetModel();
    m_filter = filter;
    rebuildRows();
    endResetModel();
}

QStringList ResidualTableModel::kinds() const
{
    return distinctTexts(m_result.observations, KindColumn);
}

QStringList ResidualTableModel::stations() const
{
    return distinctTexts(m_result.observations, StationColumn);
}

int ResidualTableModel::observationIndex(int row) const
{
    return row >= 0 && row < m_rows.size() ? m_rows.at(row) : -1;
}

int ResidualTableModel::rowOfObservation(int index) const
{
    return index >= 0 && index < m_rowOfIndex.size() ? m_rowOfIndex.at(index) : -1;
}

int ResidualTableModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_rows.size();
}

int ResidualTableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant ResidualTableModel::data(const QModelIndex &index, int role) const
{
    const int observation = observationIndex(index.row());
    if (observation < 0 || index.column() < 0 || index.column() >= ColumnCount)
        return QVariant();
    const FicObservation &o = m_result.observations.at(observation);
    switch (role) {
    case Qt::DisplayRole:
        return text(observation, index.column());
    case SortRole:
        if (isTextColumn(index.column()))
            return textOf(o, index.column());
        return numberOf(o, index.column());
    case Qt::TextAlignmentRole:
        if (isTextColumn(index.column()) || index.column() == ValidityColumn)
            return int(Qt::AlignLeft | Qt::AlignVCenter);
        return int(Qt::AlignRight | Qt::AlignVCenter);
    case Qt::ForegroundRole:
        if (!o.valid)
            return QColor(Qt::darkRed);
        return QVariant();
    default:
        return QVariant();
    }
}

QVariant ResidualTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (section) {
    case RankColumn:
        return tr("Rang");
    case KindColumn:
        return tr("Type");
    case StationColumn:
        return tr("Station");
    case TargetColumn:
        return tr("Point visé");
    case ValueColumn:
        return tr("Observation");
    case ResidualColumn:
        return tr("Résidu");
    case NormalizedResidualColumn:
        return tr("Résidu normé");
    case RedundancyColumn:
        return tr("Redondance");
    case ValidityColumn:
        return tr("Validité");
    default:
        return QVariant();
    }
}

void ResidualTableModel::sort(int column, Qt::SortOrder order)
{
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    QVector<int> observations;
    observations.reserve(before.size());
    for (const QModelIndex &index : before)
        observations.append(observationIndex(index.row()));

    m_sortColumn = column >= 0 && column < ColumnCount ? column : -1;
    m_sortOrder = order;
    // Back to rank order, from which the stable sort keeps ties in rank order.
    int row = 0;
    for (int index = 0; index < m_rowOfIndex.size(); ++index) {
        if (m_rowOfIndex.at(index) >= 0)
            m_rows[row++] = index;
    }
    sortRows();

    QModelIndexList after;
    after.reserve(before.size());
    for (int k = 0; k < before.size(); ++k) {
        const int row = rowOfObservation(observations.at(k));
        after.append(row < 0 ? QModelIndex() : createIndex(row, before.at(k).column()));
    }
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

QString ResidualTableModel::text(int index, int column) const
{
    if (index < 0 || index >= m_result.observations.size())
        return QString();
    const FicObservation &o = m_result.observations.at(index);
    switch (column) {
    case RankColumn:
        return QString::number(o.rank);
    case KindColumn:
    case StationColumn:
    case TargetColumn:
        return textOf(o, column);
    case ValueColumn:
        return observationValueText(o, m_result.angleUnit).trimmed();
    case ResidualColumn:
        return residualTextInSmallUnit(o, m_result.angleUnit);
    case NormalizedResidualColumn:
        return QString::number(o.normalizedResidual, 'f', kNormalizedDecimals);
    case RedundancyColumn:
        return reliabilityText(o.reliability).trimmed();
    case ValidityColumn:
        return o.valid ? tr("Valide") : tr("Rejetée");
    default:
        return QString();
    }
}

void ResidualTableModel::rebuildRows()
{
    m_rows.clear();
    const QVector<FicObservation> &observations = m_result.observations;
    m_rows.reserve(observations.size());
    for (int i = 0; i < observations.size(); ++i) {
        const FicObservation &o = observations.at(i);
        if ((m_filter.rejectedOnly && o.valid) ||
            (!m_filter.kind.isEmpty() && o.typeLabel != m_filter.kind) ||
            (!m_filter.station.isEmpty() && o.station != m_filter.station))
            continue;
        m_rows.append(i);
    }
    sortRows();
}

void ResidualTableModel::sortRows()
{
    if (m_sortColumn >= 0) {
        const bool ascending = m_sortOrder == Qt::AscendingOrder;
        const QVector<FicObservation> &observations = m_result.observations;
        std::vector<quint64> keys;
        keys.reserve(m_rows.size());
        if (isTextColumn(m_sortColumn)) {
            const QVector<int> ordinals = textOrdinals(m_sortColumn);
            for (int index : qAsConst(m_rows)) {
                const quint64 ordinal = quint64(ordinals.at(index));
                keys.push_back(ascending ? ordinal : ~ordinal);
            }
        } else {
            for (int index : qAsConst(m_rows)) {
                const double number = numberOf(observations.at(index), m_sortColumn);
                // Not a number comes after every number, whatever the order.
                keys.push_back(std::isnan(number) ? ~quint64(0)
                               : ascending        ? orderedBits(number)
                                                  : ~orderedBits(number));
            }
        }
        radixSort(keys, m_rows);
    }
    m_rowOfIndex.fill(-1, m_result.observations.size());
    for (int row = 0; row < m_rows.size(); ++row)
        m_rowOfIndex[m_rows.at(row)] = row;
}

QVector<int> ResidualTableModel::textOrdinals(int column) const
{
    const QVector<FicObservation> &observations = m_result.observations;
    QHash<QString, int> idOf;
    QStringList distinct;
    QVector<int> ordinals(observations.size(), 0);
    for (int index : qAsConst(m_rows)) {
        const QString &text = textOf(observations.at(index), column);
        auto it = idOf.constFind(text);
        if (it == idOf.constEnd()) {
            it = idOf.insert(text, distinct.size());
            distinct.append(text);
        }
        ordinals[index] = it.value();
    }
    QVector<int> byName(distinct.size());
    std::iota(byName.begin(), byName.end(), 0);
    std::sort(byName.begin(), byName.end(),
              [&](int a, int b) { return naturalLess(distinct.at(a), distinct.at(b)); });
    QVector<int> place(distinct.size());
    for (int k = 0; k < byName.size(); ++k)
        place[byName.at(k)] = k;
    for (int index : qAsConst(m_rows))
        ordinals[index] = place.at(ordinals.at(index));
    return ordinals;
}
