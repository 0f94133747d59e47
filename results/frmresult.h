#ifndef FRMRESULT_H
#define FRMRESULT_H

#include "ficresult.h"

#include <QDialog>

class DoubleSlider;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QTableView;
class ResidualTableModel;
class myPlotArea;

// Ranks shown by the ranking chart for the slider values `a` and `b` (0 to 1) over `count`
// observations: from floor((count - 1)·a + 1) to ceil((count - 1)·b + 1).
struct RankRange
{
    int low = 1;
    int high = 1;
};
RankRange rankRange(int count, float a, float b);

// The detailed results of one processed observation file: the run's summary, the normalized
// residual of every observation in rank order, the details of the selected one and a graph of
// the residuals. It only emits the place to jump to; the main window opens the file there.
class frmResult : public QDialog
{
    Q_OBJECT

public:
    explicit frmResult(QWidget *parent = nullptr);

    // The window's title, by which the main window finds it again.
    static QString title();

    // Reads the result file at `path` (with its observations) and shows it.
    void loadResult(const QString &path);
    // Shows `result`, read from `path`.
    void showResult(const QString &path, const FicResult &result);
    const FicResult &result() const { return m_result; }

signals:
    // The report's path and the selected row plus 1.
    void gotoLog(const QString &file, int row);
    // The observation file's path and the line number of the selected observation's record.
    void gotoIob(const QString &file, int line);

public slots:
    void cancel();
    void goLOG();
    void goIOB();
    // 0 no graph, 1 ranking chart, 2 histogram.
    void showGraphs(int index);
    // The slider's low and high values, turned into the ranks shown.
    void showGraphs(float a, float b);
    void selectObs();
    // Writes the observation table, as sorted and filtered, to a CSV file the user chooses.
    void exportObservations();

private:
    void clearDetails();
    void fillFilterChoices();
    void applyFilter();
    // The table follows the residual list's current observation, and the other way round.
    void showCurrentInTable();
    void tableRowChanged(const QModelIndex &current);

    FicResult m_result;

    QLabel *m_pathLabel = nullptr;
    QLabel *m_calculationType = nullptr;
    QLabel *m_varianceFactor = nullptr;
    QLabel *m_iterationCount = nullptr;
    QLabel *m_observationCount = nullptr;
    QLabel *m_unknownCount = nullptr;
    QLabel *m_rejectedCount = nullptr;
    QLabel *m_epochCountCaption = nullptr;
    QLabel *m_epochCount = nullptr;

    QLineEdit *m_station = nullptr;
    QLineEdit *m_target = nullptr;
    QCheckBox *m_valid = nullptr;
    QLineEdit *m_type = nullptr;
    QLineEdit *m_value = nullptr;
    QLineEdit *m_residual = nullptr;
    QLineEdit *m_reliability = nullptr;
    QLabel *m_epochCaption = nullptr;
    QLineEdit *m_epoch = nullptr;

    QListWidget *m_residuals = nullptr;
    ResidualTableModel *m_table = nullptr;
    QTableView *m_tableView = nullptr;
    QCheckBox *m_rejectedOnly = nullptr;
    QComboBox *m_kindFilter = nullptr;
    QComboBox *m_stationFilter = nullptr;
    QComboBox *m_graphChoice = nullptr;
    QGroupBox *m_graphGroup = nullptr;
    myPlotArea *m_plot = nullptr;
    QLabel *m_lowRank = nullptr;
    DoubleSlider *m_slider = nullptr;
    QLabel *m_highRank = nullptr;
};

#endif // FRMRESULT_H
