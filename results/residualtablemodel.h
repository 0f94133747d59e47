#ifndef RESIDUALTABLEMODEL_H
#define RESIDUALTABLEMODEL_H

#include "ficresult.h"

#include <QAbstractTableModel>
#include <QStringList>
#include <QVector>

// Which observations the residual table shows; an empty kind or station shows them all.
struct ResidualFilter
{
    bool rejectedOnly = false;
    QString kind;
    QString station;
};

// The observations of a result as a table: one row per observation shown, in rank order until
// the table is sorted. It sorts and filters itself, over a list of observation indexes, because a
// proxy comparing variants through the model would take seconds on a million rows. Numbers sort
// by value (the sort role gives it), names in natural order ("P2" before "P10"); ties keep the
// rank order.
class ResidualTableModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column {
        RankColumn,
        KindColumn,
        StationColumn,
        TargetColumn,
        ValueColumn,
        ResidualColumn,
        NormalizedResidualColumn,
        RedundancyColumn,
        ValidityColumn,
        ColumnCount
    };
    // The value a column sorts by: a double for numbers, a text otherwise.
    static constexpr int SortRole = Qt::UserRole;

    explicit ResidualTableModel(QObject *parent = nullptr);

    // Shows the observations of `result`, unfiltered and in rank order.
    void setResult(const FicResult &result);

    void setFilter(const ResidualFilter &filter);
    const ResidualFilter &filter() const { return m_filter; }

    // The distinct kinds and stations of the observations, in natural order: the filter's choices.
    QStringList kinds() const;
    QStringList stations() const;

    // Index into the result's observations of the observation at `row`, or -1 outside the table.
    int observationIndex(int row) const;
    // Row of the observation at `index` of the result's observations, or -1 when it is filtered
    // out.
    int rowOfObservation(int index) const;

    int sortColumn() const { return m_sortColumn; }
    Qt::SortOrder sortOrder() const { return m_sortOrder; }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    // A column outside the table restores the rank order.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

    // The text of `column` for the observation at `index` of the result, as the table shows it.
    QString text(int index, int column) const;

private:
    void rebuildRows();
    void sortRows();
    // Position of each observation's text of `column` in the natural order of all its texts.
    QVector<int> textOrdinals(int column) const;

    FicResult m_result;
    ResidualFilter m_filter;
    QVector<int> m_rows;       // observation index of each row shown
    QVector<int> m_rowOfIndex; // row of each observation index, -1 when filtered out
    int m_sortColumn = -1;
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
};

// Whether `a` comes before `b` when names are compared with their runs of digits as numbers:
// "P2" before "P10", "A" before "a" only when they are otherwise equal.
bool naturalLess(const QString &a, const QString &b);

#endif // RESIDUALTABLEMODEL_H
