#ifndef FRMBILANCALCUL_H
#define FRMBILANCALCUL_H

#include <QDialog>
#include <QStringList>

class QPushButton;
class QTableWidget;

// "Bilan de traitement": one row per processed observation file with the state of its run and
// its main statistics, read from the result file beside it. It opens nothing itself: it emits the
// row number and closes, and the main window opens the report or the detailed results.
class frmBilanCalcul : public QDialog
{
    Q_OBJECT

public:
    // `files` are the processed observation files, in the order of the rows.
    explicit frmBilanCalcul(const QStringList &files);

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
    QPushButton *m_quitButton;
    QPushButton *m_logButton;
    QPushButton *m_infoButton;
};

#endif // FRMBILANCALCUL_H
