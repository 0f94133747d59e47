#ifndef FRMDRAWMAIN_H
#define FRMDRAWMAIN_H

#include <QDialog>

class frmDraw;
class QCheckBox;
class QComboBox;
class QSlider;

// The network drawing window: the canvas of a drawing file and, in a column on its left, the
// choice of the epoch, the element switches and the magnification of each region family.
class frmDrawMain : public QDialog
{
    Q_OBJECT

public:
    // Opens the drawing file at `path` in a window of `width` x `height` pixels.
    frmDrawMain(const QString &path, int width, int height);

    frmDraw *canvas() const { return m_canvas; }

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

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    frmDraw *m_canvas;
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
