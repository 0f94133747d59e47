#include "frmdrawmain.h"

#include "drawingexport.h"
#include "drawingview.h"
#include "drwreader.h"
#include "frmdraw.h"
#include "prompts.h"
#include "sharedhelpers.h"
#include "svgexport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QList>
#include <QMenu>
#include <QPrinter>
#include <QSlider>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

constexpr int kColumnWidth = 150;
constexpr int kMessageMs = 2000;

QCheckBox *checkBox(const QString &text, const QString &name, QWidget *parent)
{
    auto *box = new QCheckBox(text, parent);
    box->setObjectName(name);
    box->setChecked(true);
    return box;
}

// The column keeps its width whatever the platform's font: where a title or a check box text would
// be cut, the groups take a smaller font until every text fits.
void fitTextsToColumn(const QList<QGroupBox *> &groups)
{
    constexpr int kSmallestPointSize = 6;
    QFont font = groups.first()->font();
    const auto tooWide = [&groups] {
        for (const QGroupBox *group : groups) {
            if (group->minimumSizeHint().width() > kColumnWidth)
                return true;
        }
        return false;
    };
    while (tooWide() && font.pointSize() > kSmallestPointSize) {
        font.setPointSize(font.pointSize() - 1);
        // Set on every control: some styles give a class, such as the choice list, a font of its
        // own that the group's font would not reach.
        for (QGroupBox *group : groups) {
            group->setFont(font);
            for (QWidget *control : group->findChildren<QWidget *>())
                control->setFont(font);
        }
    }
}

// A box whose family has nothing to draw is disabled, and then unchecked too.
void enableIf(QCheckBox *box, bool enabled)
{
    box->setEnabled(enabled);
    if (!enabled)
        box->setChecked(false);
}

} // namespace

frmDrawMain::frmDrawMain(const QString &path, int width, int height)
    : m_path(path)
{
    resize(width, height);

    auto *points = new QGroupBox(tr("Points"), this);
    points->setFixedWidth(kColumnWidth);
    points->setMaximumHeight(100);
    m_epochs = new QComboBox(points);
    m_epochs->setObjectName(QStringLiteral("epochs"));
    // The choice list takes what its caption leaves of the row: its own width hint, which grows
    // with the list and is not refreshed on a change of font, must not widen the column.
    m_epochs->setSizePolicy(QSizePolicy::Ignored, m_epochs->sizePolicy().verticalPolicy());
    m_names = checkBox(tr("Nom des points"), QStringLiteral("names"), points);
    m_links = checkBox(tr("Lien entre les points"), QStringLiteral("links"), points);
    auto *epochRow = new QHBoxLayout;
    epochRow->addWidget(new QLabel(tr("Epoque n° :"), points));
    epochRow->addWidget(m_epochs);
    auto *pointsLayout = new QVBoxLayout(points);
    pointsLayout->addLayout(epochRow);
    pointsLayout->addWidget(m_names);
    pointsLayout->addWidget(m_links);

    // The confidence and reliability groups hold the same four controls.
    const auto regionGroup = [this](const QString &title, const QString &family,
                                    QCheckBox *&absolute, QCheckBox *&relative,
                                    QCheckBox *&betweenEpochs, QSlider *&scale) {
        auto *group = new QGroupBox(title, this);
        group->setFixedWidth(kColumnWidth);
        absolute = checkBox(tr("Ponctuelles"), QStringLiteral("absolute") + family, group);
        relative = checkBox(tr("Relatives"), QStringLiteral("relative") + family, group);
        betweenEpochs = checkBox(tr("Entre époques"), QStringLiteral("epoch") + family, group);
        scale = new QSlider(Qt::Horizontal, group);
        scale->setObjectName(QStringLiteral("scale") + family);
        scale->setRange(1, 11);
        scale->setValue(6);
        scale->setSingleStep(1);
        scale->setPageStep(1);
        scale->setTracking(true);
        auto *layout = new QVBoxLayout(group);
        layout->addWidget(absolute);
        layout->addWidget(relative);
        layout->addWidget(betweenEpochs);
        layout->addWidget(new QLabel(tr("Echelle :"), group));
        layout->addWidget(scale);
        return group;
    };
    QGroupBox *confidence =
        regionGroup(tr("Régions de confiance 2D"), QStringLiteral("Ellipses"), m_absoluteEllipses,
                    m_relativeEllipses, m_epochEllipses, m_ellipseScale);
    confidence->setMaximumHeight(150);
    QGroupBox *reliability = regionGroup(tr("Régions de fiabilité 2D"),
                                         QStringLiteral("Rectangles"), m_absoluteRectangles,
                                         m_relativeRectangles, m_epochRectangles, m_rectangleScale);

    fitTextsToColumn({points, confidence, reliability});

    m_canvas = new frmDraw(this);
    // The canvas takes the keyboard, so "+" and "-" reach this window rather than the epoch list.
    m_canvas->setFocusPolicy(Qt::StrongFocus);
    m_canvas->setDrawing(readDrw(path));

    auto *tools = new QToolBar(this);
    tools->setToolButtonStyle(Qt::ToolButtonTextOnly);
    QAction *whole = tools->addAction(tr("Vue d'ensemble"), this, &frmDrawMain::showWhole);
    whole->setObjectName(QStringLiteral("showWhole"));
    whole->setToolTip(tr("Tout le réseau, sans zoom (touche Origine)"));
    QAction *print = tools->addAction(tr("Imprimer..."), this, &frmDrawMain::printDrawing);
    print->setObjectName(QStringLiteral("print"));
    print->setShortcut(QKeySequence::Print);
    auto *exports = new QMenu(tr("Exporter"), this);
    exports->setObjectName(QStringLiteral("exports"));
    exports->setToolTipsVisible(true);
    const auto addExport = [this, exports](const QString &text, const char *name,
                                           void (frmDrawMain::*slot)()) {
        QAction *action = exports->addAction(text, this, slot);
        action->setObjectName(QLatin1String(name));
        return action;
    };
    addExport(tr("Coordonnées ajustées (CSV)..."), "exportCsv", &frmDrawMain::exportCoordinatesCsv);
    // The engine gives plane coordinates only: a map needs longitudes and latitudes.
    QAction *geoJson = exports->addAction(tr("Coordonnées géographiques (GeoJSON)..."));
    geoJson->setObjectName(QStringLiteral("exportGeoJson"));
    geoJson->setEnabled(false);
    geoJson->setToolTip(tr("Réseau en coordonnées locales : le GeoJSON demande des coordonnées "
                           "géographiques"));
    exports->addSeparator();
    addExport(tr("Dessin en image PNG..."), "exportPng", &frmDrawMain::exportPng);
    addExport(tr("Dessin vectoriel SVG..."), "exportSvg", &frmDrawMain::exportSvg);
    addExport(tr("Dessin en PDF..."), "exportPdf", &frmDrawMain::exportPdf);
    addExport(tr("Dessin pour la DAO (DXF)..."), "exportDxf", &frmDrawMain::exportDxf);
    auto *exportButton = new QToolButton(tools);
    exportButton->setText(tr("Exporter"));
    exportButton->setMenu(exports);
    exportButton->setPopupMode(QToolButton::InstantPopup);
    tools->addWidget(exportButton);

    m_statusBar = new QStatusBar(this);
    m_statusBar->setSizeGripEnabled(false);
    m_cursor = new QLabel(m_statusBar);
    m_cursor->setObjectName(QStringLiteral("cursor"));
    m_statusBar->addPermanentWidget(m_cursor);
    connect(m_canvas, &frmDraw::cursorMoved, this, &frmDrawMain::showCursor);
    connect(m_canvas, &frmDraw::cursorLeft, m_cursor, &QLabel::clear);

    auto *column = new QVBoxLayout;
    column->addWidget(points);
    column->addWidget(confidence);
    column->addWidget(reliability);
    column->addStretch();
    auto *canvasColumn = new QVBoxLayout;
    canvasColumn->addWidget(tools);
    canvasColumn->addWidget(m_canvas, 1);
    canvasColumn->addWidget(m_statusBar);
    auto *layout = new QHBoxLayout(this);
    layout->addLayout(column);
    layout->addLayout(canvasColumn, 1);

    const DrwDrawing &drawing = m_canvas->drawing();
    const int epochs = drawing.epochCount;
    for (int epoch = 1; epoch <= qMin(epochs, kMaxListedEpochs); ++epoch)
        m_epochs->addItem(QString::number(epoch));
    const bool severalEpochs = epochs > 1;
    enableIf(m_absoluteEllipses, !drawing.absoluteEllipses.isEmpty());
    enableIf(m_relativeEllipses, !drawing.relativeEllipses.isEmpty());
    enableIf(m_epochEllipses, !drawing.epochEllipses.isEmpty() && severalEpochs);
    enableIf(m_absoluteRectangles, !drawing.absoluteRectangles.isEmpty());
    enableIf(m_relativeRectangles, !drawing.relativeRectangles.isEmpty());
    enableIf(m_epochRectangles, !drawing.epochRectangles.isEmpty() && severalEpochs);
    m_epochs->setEnabled(severalEpochs);

    connect(m_names, &QCheckBox::clicked, this, &frmDrawMain::activePtName);
    connect(m_links, &QCheckBox::clicked, this, &frmDrawMain::activePtLien);
    connect(m_absoluteEllipses, &QCheckBox::clicked, this, &frmDrawMain::activeElip2D);
    connect(m_relativeEllipses, &QCheckBox::clicked, this, &frmDrawMain::activeElip2DRel);
    connect(m_epochEllipses, &QCheckBox::clicked, this, &frmDrawMain::activeElip2DMEP);
    connect(m_ellipseScale, &QSlider::valueChanged, this, &frmDrawMain::changeScaleElip);
    connect(m_absoluteRectangles, &QCheckBox::clicked, this, &frmDrawMain::activeRect2D);
    connect(m_relativeRectangles, &QCheckBox::clicked, this, &frmDrawMain::activeRect2DRel);
    connect(m_epochRectangles, &QCheckBox::clicked, this, &frmDrawMain::activeRect2DMEP);
    connect(m_rectangleScale, &QSlider::valueChanged, this, &frmDrawMain::changeScaleRect);

    // The canvas starts from the state of the controls: boxes unchecked above draw nothing.
    activePtName();
    activePtLien();
    activeElip2D();
    activeElip2DRel();
    activeElip2DMEP();
    activeRect2D();
    activeRect2DRel();
    activeRect2DMEP();

    m_epochs->setCurrentIndex(0);
    connect(m_epochs, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &frmDrawMain::changeEpoc);
    m_canvas->setFocus();
}

void frmDrawMain::activePtName()
{
    m_canvas->setShown(DrawElement::Names, m_names->isChecked());
}

void frmDrawMain::activePtLien()
{
    m_canvas->setShown(DrawElement::Links, m_links->isChecked());
}

void frmDrawMain::activeElip2D()
{
    m_canvas->setShown(DrawElement::AbsoluteEllipses, m_absoluteEllipses->isChecked());
}

void frmDrawMain::activeElip2DRel()
{
    m_canvas->setShown(DrawElement::RelativeEllipses, m_relativeEllipses->isChecked());
}

void frmDrawMain::activeElip2DMEP()
{
    m_canvas->setShown(DrawElement::EpochEllipses, m_epochEllipses->isChecked());
}

void frmDrawMain::changeScaleElip(int position)
{
    m_canvas->setEllipseFactor(sliderFactor(position));
}

void frmDrawMain::activeRect2D()
{
    m_canvas->setShown(DrawElement::AbsoluteRectangles, m_absoluteRectangles->isChecked());
}

void frmDrawMain::activeRect2DRel()
{
    m_canvas->setShown(DrawElement::RelativeRectangles, m_relativeRectangles->isChecked());
}

void frmDrawMain::activeRect2DMEP()
{
    m_canvas->setShown(DrawElement::EpochRectangles, m_epochRectangles->isChecked());
}

void frmDrawMain::changeScaleRect(int position)
{
    m_canvas->setRectangleFactor(sliderFactor(position));
}

void frmDrawMain::changeEpoc(int index)
{
    m_canvas->setCurrentEpoch(index + 1);
}

void frmDrawMain::showWhole()
{
    m_canvas->showWhole();
}

QString frmDrawMain::cursorText() const
{
    return m_cursor->text();
}

void frmDrawMain::showCursor(const QPointF &ground, int point)
{
    QString text = tr("E = %1 m   N = %2 m").arg(ground.x(), 0, 'f', 3).arg(ground.y(), 0, 'f', 3);
    if (point >= 0) {
        const QVector<bool> &fixed = m_canvas->plan().fixedPoints();
        text += tr("   Point %1").arg(m_canvas->drawing().points.at(point).name);
        if (point < fixed.size())
            text += fixed.at(point) ? tr(" (fixe)") : tr(" (libre)");
    }
    m_cursor->setText(text);
}

void frmDrawMain::printDrawing()
{
    // At the screen's resolution the texts keep the proportions they have on screen.
    QPrinter printer(QPrinter::ScreenResolution);
    printer.setPageOrientation(QPageLayout::Landscape);
    printer.setDocName(windowTitle());
    if (!prompts::print(this, printer))
        return;
    drawingexport::paintOnPage(m_canvas->plan(), m_canvas->size(), windowTitle(), printer);
}

QString frmDrawMain::exportPath(const QString &caption, const QString &filter,
                                const QString &extension)
{
    return prompts::saveFileName(this, caption, siblingPath(m_path, extension), filter);
}

void frmDrawMain::reportExport(bool written, const QString &path, const QString &error)
{
    if (written)
        m_statusBar->showMessage(tr("Fichier exporté : %1").arg(path), kMessageMs);
    else
        prompts::warning(this, tr("Exporter"),
                         tr("Impossible d'écrire le fichier %1 :\n%2").arg(path, error));
}

void frmDrawMain::exportCoordinatesCsv()
{
    const QString path = exportPath(tr("Exporter les coordonnées ajustées"),
                                    tr("Tableau CSV (*.csv)"), QStringLiteral(".csv"));
    if (path.isEmpty())
        return;
    QString error;
    reportExport(drawingexport::writeCoordinatesCsv(m_canvas->drawing(), m_canvas->currentEpoch(),
                                                    m_confidence, path, error),
                 path, error);
}

void frmDrawMain::exportPng()
{
    const QString path =
        exportPath(tr("Exporter le dessin"), tr("Image PNG (*.png)"), QStringLiteral(".png"));
    if (path.isEmpty())
        return;
    QString error;
    reportExport(drawingexport::writeDrawingPng(m_canvas->plan(), m_canvas->size(), path, error),
                 path, error);
}

void frmDrawMain::exportSvg()
{
    const QString path =
        exportPath(tr("Exporter le dessin"), tr("Dessin SVG (*.svg)"), QStringLiteral(".svg"));
    if (path.isEmpty())
        return;
    QString error;
    reportExport(writeDrawingSvg(m_canvas->plan(), m_canvas->size(), windowTitle(), path, error),
                 path, error);
}

void frmDrawMain::exportPdf()
{
    const QString path =
        exportPath(tr("Exporter le dessin"), tr("Document PDF (*.pdf)"), QStringLiteral(".pdf"));
    if (path.isEmpty())
        return;
    QString error;
    reportExport(drawingexport::writeDrawingPdf(m_canvas->plan(), m_canvas->size(), windowTitle(),
                                                path, error),
                 path, error);
}

void frmDrawMain::exportDxf()
{
    const QString path =
        exportPath(tr("Exporter le dessin"), tr("Dessin DXF (*.dxf)"), QStringLiteral(".dxf"));
    if (path.isEmpty())
        return;
    QString error;
    reportExport(drawingexport::writeDrawingDxf(m_canvas->plan(), path, error), path, error);
}

void frmDrawMain::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Home:
        showWhole();
        break;
    case Qt::Key_Plus:
        m_canvas->zoomBy(1);
        break;
    case Qt::Key_Minus:
        m_canvas->zoomBy(-1);
        break;
    default:
        QDialog::keyPressEvent(event);
    }
}
