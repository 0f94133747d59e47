#ifndef FRMDRAWMAIN_H
#define FRMDRAWMAIN_H

#include <QDialog>

class frmDraw;
class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QSlider;
class QStatusBar;

// The network drawing window: the canvas of a drawing file and, in a column on its left, the
// choice of the epoch, the element switches and the magnification of each region family. Above
// the canvas, the whole view, printing and the exports; below it, the ground under the mouse.
class frmDrawMain : public QDialog
{
    Q_OBJECT

public:
    // Opens the drawing file at `path` in a window of `width` x `height` pixels.
    frmDrawMain(const QString &path, int width, int height);

    frmDraw *canvas() const { return m_canvas; }
    QStatusBar *statusBar() const { return m_statusBar; }
    // The ground under the mouse, as the status line shows it.
    QString cursorText() const;

    // The probability of the drawing's confidence ellipses, which the coordinate table needs to
    // work out standard deviations; 0.95 until set.
    void setConfidence(double confidence) { m_confidence = confidence; }
    double confidence() const { return m_confidence; }

    // A damaged header must not fill the epoch list without end: it lists at most this many.
    static constexpr int kMaxListedEpochs = 1000;

public slots:
    void activePtName();
    void activePtLien();
    void activeElip2D();
    void activeElip2DRel();
    void activeElip2DMEP();
    void changeScaleElip(int position);
    void activeRect2D();
    void activeRect2DRel();
    void activeRect2DMEP();
    void changeScaleRect(int position);
    void changeEpoc(int index);

    void showWhole();
    void printDrawing();
    void exportCoordinatesCsv();
    void exportPng();
    void exportSvg();
    void exportPdf();
    void exportDxf();

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void showCursor(const QPointF &ground, int point);
    // Asks where to write the export of kind `filter`, the drawing's folder and name proposed
    // with `extension`; empty when cancelled.
    QString exportPath(const QString &caption, const QString &filter, const QString &extension);
    // Tells how the export to `path` went.
    void reportExport(bool written, const QString &path, const QString &error);

    QString m_path;
    double m_confidence = 0.95;
    frmDraw *m_canvas;
    QStatusBar *m_statusBar;
    QLabel *m_cursor;
    QComboBox *m_epochs;
    QCheckBox *m_names;
    QCheckBox *m_links;
    QCheckBox *m_absoluteEllipses;
    QCheckBox *m_relativeEllipses;
    QCheckBox *m_epochEllipses;
    QSlider *m_ellipseScale;
    QCheckBox *m_absoluteRectangles;
    QCheckBox *m_relativeRectangles;
    QCheckBox *m_epochRectangles;
    QSlider *m_rectangleScale;
};

#endif // FRMDRAWMAIN_H
