#ifndef FRMTRAITEMENT_H
#define FRMTRAITEMENT_H

#include <QDialog>
#include <QList>
#include <QString>

class QLineEdit;
class QListWidget;

// "Lancement d'un calcul": the observation files and the configuration file of a processing
// run. It runs nothing itself: "Lancer le traitement" hands the list and the path to the main
// window (majLastProcessed), asks it to run (afterProcess), then closes.
class frmTraitement : public QDialog
{
    Q_OBJECT

public:
    // Pre-filled with `files`, in order, and `configuration`: the previous run's.
    frmTraitement(const QList<QString> &files, const QString &configuration);

    QList<QString> files() const;
    QString configuration() const;

signals:
    void majLastProcessed(QList<QString> files, QString configuration);
    void afterProcess();

public slots:
    void selectIOB();
    void deleteIOB();
    void selectCFG();
    void process();
    void annuler();

private:
    QListWidget *m_files;
    QLineEdit *m_configuration;
};

#endif // FRMTRAITEMENT_H
