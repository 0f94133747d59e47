#ifndef FRMHELP_H
#define FRMHELP_H

#include <QWidget>

class HelpBrowser;

// "Aide de Tavlo": how a run goes, the formats of the records read from the record catalogue, and
// the engine's manual, in one browser with its contents, back and forward buttons.
class frmHelp : public QWidget
{
    Q_OBJECT

public:
    explicit frmHelp(QWidget *parent = nullptr);

    static QString title();

    HelpBrowser *browser() const { return m_browser; }

public slots:
    void showIndex();
    void showRecords();
    void showEngineManual();
    // The page of the record type `code`; the list of records when the catalogue has no such code.
    void showRecord(const QString &code);

private:
    HelpBrowser *m_browser = nullptr;
};

#endif // FRMHELP_H
