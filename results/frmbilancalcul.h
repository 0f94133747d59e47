#ifndef FRMBILANCALCUL_H
#define FRMBILANCALCUL_H

#include <QDialog>
#include <QStringList>

class QLabel;
class QPushButton;
class QTableWidget;

// "Bilan de traitement": one row per processed observation file with the state of its run and
// its main statistics, read from the result file beside it. It opens nothing itself: it emits the
// row number and closes, and the main window opens the report or the detailed results.
class frmBilanCalcul : public QDialog
{
    Q_OBJECT

public:
    // `files` are the processed observation files, in the order of the rows. `resultWritten`
    // says, row by row, whether the run wrote the result file; a row it marks false shows its
    // result file as missing, since the one in place is an earlier run's. Rows it does not reach
    // are read as they are.
    explicit frmBilanCalcul(const QStringList &files, const QList<bool> &resultWritten = {});

signals:
    void goShowLog(int row);
    void goShowFic(int row);

public slots:
    void quitte();
    void showLog();
    void showInfos();
    void selectionChanged();

private:
    // The selected row, or -1 when there is none (an empty table).
    int selectedRow() const;

    QTableWidget *m_table;
    QLabel *m_epochs;
    QStringList m_epochTexts; // by row; empty for a run of one epoch
    QPushButton *m_quitButton;
    QPushButton *m_logButton;
    QPushButton *m_infoButton;
};

#endif // FRMBILANCALCUL_H
