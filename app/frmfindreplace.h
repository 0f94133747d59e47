#ifndef FRMFINDREPLACE_H
#define FRMFINDREPLACE_H

#include <QDialog>

class QLineEdit;

// The search window of "&Rechercher...": it holds the search text and asks the main window,
// through its signals, to search the active editor.
class frmFindReplace : public QDialog
{
    Q_OBJECT

public:
    explicit frmFindReplace(QWidget *parent = nullptr);

signals:
    void rechercherNext(const QString &s);
    void rechercherPrevious(const QString &s);
    void rechercherAll(const QString &s);
    void rechercherQuit();

private slots:
    void suivant();
    void precedent();
    void chercheTout();
    void quitter();

private:
    QLineEdit *m_text = nullptr;
};

#endif // FRMFINDREPLACE_H
