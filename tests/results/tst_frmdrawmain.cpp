#include "drwwriter.h"
#include "frmdraw.h"
#include "frmdrawmain.h"
#include "scriptedprompter.h"
#include "testfiles.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QSlider>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QtTest>

#include <limits>

namespace {

DrwRegion region(int point1, int point2, int epoch, double a)
{
    DrwRegion r;
    r.point1 = point1;
    r.point2 = point2;
    r.epoch = epoch;
    r.semiAxis1 = a;
    r.semiAxis2 = a;
    return r;
}

// Five points in a cross of radius 100 m around the first, with regions of every family.
DrwDrawing network(int epochs)
{
    DrwDrawing d;
    d.epochCount = epochs;
    const double xy[][2] = {{0, 0}, {-100, 0}, {100, 0}, {0, 100}, {0, -100}};
    for (const auto &p : xy) {
        DrwPoint point;
        point.name = QStringLiteral("P%1").arg(d.points.size() + 1);
        point.x = p[0];
        point.y = p[1];
        d.points.append(point);
    }
    d.links = QVector<QVector<qint32>>(5, QVector<qint32>(5, 0));
    d.absoluteEllipses = {region(1, 0, 1, 0.01)};
    d.relativeEllipses = {region(2, 3, 1, 0.01)};
    d.absoluteRectangles = {region(4, 0, 1, 0.02)};
    d.relativeRectangles = {region(4, 5, 1, 0.02)};
    d.epochEllipses = {region(5, 5, 2, 0.01)};
    d.epochRectangles = {region(2, 2, 2, 0.02)};
    return d;
}

const char *const kBoxes[] = {"names",
                              "links",
                              "absoluteEllipses",
                              "relativeEllipses",
                              "epochEllipses",
                              "absoluteRectangles",
                              "relativeRectangles",
                              "epochRectangles"};

} // namespace

Q_DECLARE_METATYPE(DrawElement)

class tst_frmDrawMain : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void controls();
    void boxesFollowTheDrawing_data();
    void boxesFollowTheDrawing();
    void epochList_data();
    void epochList();
    void choosingAnEpoch();
    void checkBoxesSwitchElements_data();
    void checkBoxesSwitchElements();
    void sliderFactors_data();
    void sliderFactors();
    void sliderAtEightTriplesEllipsesAndLegend();
    void plusAndMinusKeysZoom();
    void missingFile();
    void statusLineShowsTheGroundUnderTheMouse();
    void wheelZoomsAboutTheMouse();
    void wholeViewFromTheButtonAndTheHomeKey();
    void svgExportHoldsEveryPoint();
    void exportMenu();
    void printing();

private:
    QString write(const DrwDrawing &drawing);
    QScopedPointer<QTemporaryDir> m_dir;
};

void tst_frmDrawMain::init()
{
    m_dir.reset(new QTemporaryDir);
    QVERIFY(m_dir->isValid());
}

// The mouse moved over `widget` at `at`, no button held.
void moveMouse(QWidget *widget, const QPoint &at)
{
    QMouseEvent event(QEvent::MouseMove, at, widget->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                      Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

QString tst_frmDrawMain::write(const DrwDrawing &drawing)
{
    const QString path = m_dir->filePath(QStringLiteral("reseau.drw"));
    if (!DrwWriter::save(path, DrwWriter::file(drawing)))
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

void tst_frmDrawMain::controls()
{
    frmDrawMain window(write(network(2)), 900, 600);
    QCOMPARE(window.size(), QSize(900, 600));
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    QStringList titles;
    int columnRight = 0;
    for (QGroupBox *group : window.findChildren<QGroupBox *>()) {
        titles.append(group->title());
        QCOMPARE(group->width(), 150);
        columnRight = qMax(columnRight, group->geometry().right());
        // Every text of the column fits in its width.
        QVERIFY2(group->minimumSizeHint().width() <= 150, qPrintable(group->title()));
    }
    QCOMPARE(titles, QStringList({"Points", "Régions de confiance 2D", "Régions de fiabilité 2D"}));
    const QList<QGroupBox *> groups = window.findChildren<QGroupBox *>();
    QVERIFY(groups[0]->height() <= 100);
    QVERIFY(groups[1]->height() <= 150);
    QVERIFY(groups[0]->geometry().top() < groups[1]->geometry().top());
    QVERIFY(groups[1]->geometry().top() < groups[2]->geometry().top());
    QVERIFY(window.canvas()->geometry().left() > columnRight);
    QVERIFY(window.canvas()->width() > 600);

    QStringList boxTexts;
    for (QCheckBox *box : window.findChildren<QCheckBox *>()) {
        boxTexts.append(box->text());
        QVERIFY(box->isChecked());
        QVERIFY(box->isEnabled());
    }
    QCOMPARE(boxTexts,
             QStringList({"Nom des points", "Lien entre les points", "Ponctuelles", "Relatives",
                          "Entre époques", "Ponctuelles", "Relatives", "Entre époques"}));
    for (QSlider *slider : window.findChildren<QSlider *>()) {
        QCOMPARE(slider->orientation(), Qt::Horizontal);
        QCOMPARE(slider->minimum(), 1);
        QCOMPARE(slider->maximum(), 11);
        QCOMPARE(slider->value(), 6);
        QCOMPARE(slider->singleStep(), 1);
        QCOMPARE(slider->pageStep(), 1);
        QVERIFY(slider->hasTracking());
    }
    QCOMPARE(window.findChildren<QSlider *>().size(), 2);
}

void tst_frmDrawMain::boxesFollowTheDrawing_data()
{
    QTest::addColumn<int>("epochs");
    QTest::addColumn<QStringList>("emptyLists");
    QTest::addColumn<QStringList>("disabled");

    QTest::newRow("every family, two epochs") << 2 << QStringList() << QStringList();
    QTest::newRow("single epoch") << 1 << QStringList()
                                  << QStringList{"epochEllipses", "epochRectangles"};
    QTest::newRow("no relative ellipses")
        << 2 << QStringList{"relativeEllipses"} << QStringList{"relativeEllipses"};
    QTest::newRow("no regions") << 3 << QStringList{"absoluteEllipses",   "relativeEllipses",
                                                    "epochEllipses",      "absoluteRectangles",
                                                    "relativeRectangles", "epochRectangles"}
                                << QStringList{"absoluteEllipses",   "relativeEllipses",
                                               "epochEllipses",      "absoluteRectangles",
                                               "relativeRectangles", "epochRectangles"};
}

void tst_frmDrawMain::boxesFollowTheDrawing()
{
    QFETCH(int, epochs);
    QFETCH(QStringList, emptyLists);
    QFETCH(QStringList, disabled);

    DrwDrawing d = network(epochs);
    const QVector<QPair<QString, QVector<DrwRegion> *>> lists = {
        {"absoluteEllipses", &d.absoluteEllipses},
        {"relativeEllipses", &d.relativeEllipses},
        {"epochEllipses", &d.epochEllipses},
        {"absoluteRectangles", &d.absoluteRectangles},
        {"relativeRectangles", &d.relativeRectangles},
        {"epochRectangles", &d.epochRectangles}};
    for (const auto &list : lists) {
        if (emptyLists.contains(list.first))
            list.second->clear();
    }
    frmDrawMain window(write(d), 800, 500);

    for (int k = 0; k < 8; ++k) {
        auto *box = window.findChild<QCheckBox *>(kBoxes[k]);
        QVERIFY(box);
        const bool enabled = !disabled.contains(kBoxes[k]);
        QVERIFY2(box->isEnabled() == enabled, kBoxes[k]);
        // A disabled box is unchecked, and its family is not drawn.
        QVERIFY2(box->isChecked() == enabled, kBoxes[k]);
        QVERIFY2(window.canvas()->isShown(DrawElement(k)) == enabled, kBoxes[k]);
    }
    QCOMPARE(window.findChild<QComboBox *>("epochs")->isEnabled(), epochs > 1);
}

void tst_frmDrawMain::epochList_data()
{
    QTest::addColumn<int>("epochs");
    QTest::addColumn<int>("listed");

    QTest::newRow("one") << 1 << 1;
    QTest::newRow("three") << 3 << 3;
    QTest::newRow("none") << 0 << 0;
    QTest::newRow("negative") << -4 << 0;
    QTest::newRow("damaged header")
        << std::numeric_limits<int>::max() << frmDrawMain::kMaxListedEpochs;
}

void tst_frmDrawMain::epochList()
{
    QFETCH(int, epochs);
    QFETCH(int, listed);
    frmDrawMain window(write(network(epochs)), 800, 500);
    auto *list = window.findChild<QComboBox *>("epochs");
    QCOMPARE(list->count(), listed);
    for (int k = 0; k < qMin(listed, 5); ++k)
        QCOMPARE(list->itemText(k), QString::number(k + 1));
    QCOMPARE(list->currentIndex(), listed > 0 ? 0 : -1);
    QCOMPARE(window.canvas()->currentEpoch(), 1);
}

void tst_frmDrawMain::choosingAnEpoch()
{
    frmDrawMain window(write(network(3)), 800, 500);
    auto *list = window.findChild<QComboBox *>("epochs");
    list->setCurrentIndex(2);
    QCOMPARE(window.canvas()->currentEpoch(), 3);
    list->setCurrentIndex(0);
    QCOMPARE(window.canvas()->currentEpoch(), 1);
}

void tst_frmDrawMain::checkBoxesSwitchElements_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<DrawElement>("element");
    for (int k = 0; k < 8; ++k)
        QTest::newRow(kBoxes[k]) << QString::fromLatin1(kBoxes[k]) << DrawElement(k);
}

void tst_frmDrawMain::checkBoxesSwitchElements()
{
    QFETCH(QString, box);
    QFETCH(DrawElement, element);
    frmDrawMain window(write(network(2)), 800, 500);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto *checkBox = window.findChild<QCheckBox *>(box);
    QTest::mouseClick(checkBox, Qt::LeftButton, {}, QPoint(8, checkBox->height() / 2));
    QVERIFY(!checkBox->isChecked());
    for (int k = 0; k < 8; ++k)
        QCOMPARE(window.canvas()->isShown(DrawElement(k)), DrawElement(k) != element);
    QTest::mouseClick(checkBox, Qt::LeftButton, {}, QPoint(8, checkBox->height() / 2));
    QVERIFY(window.canvas()->isShown(element));
}

void tst_frmDrawMain::sliderFactors_data()
{
    QTest::addColumn<int>("position");
    QTest::addColumn<double>("factor");
    QTest::newRow("1") << 1 << 0.2;
    QTest::newRow("4") << 4 << 0.5;
    QTest::newRow("5") << 5 << 1.0;
    QTest::newRow("6") << 6 << 1.0;
    QTest::newRow("8") << 8 << 3.0;
    QTest::newRow("11") << 11 << 6.0;
}

void tst_frmDrawMain::sliderFactors()
{
    QFETCH(int, position);
    QFETCH(double, factor);
    frmDrawMain window(write(network(2)), 800, 500);
    window.findChild<QSlider *>("scaleEllipses")->setValue(position);
    QCOMPARE(window.canvas()->view().ellipseFactor(), factor);
    QCOMPARE(window.canvas()->view().rectangleFactor(), 1.0);
    window.findChild<QSlider *>("scaleRectangles")->setValue(position);
    QCOMPARE(window.canvas()->view().rectangleFactor(), factor);
}

void tst_frmDrawMain::sliderAtEightTriplesEllipsesAndLegend()
{
    DrwDrawing d = network(1);
    d.relativeEllipses.clear();
    d.absoluteRectangles.clear();
    d.relativeRectangles.clear();
    // Tall enough for the ellipse to dwarf the dot over its centre under the tool bar.
    frmDrawMain window(write(d), 900, 660);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    frmDraw *canvas = window.canvas();
    canvas->setShown(DrawElement::Names, false);

    const QColor fill(255, 105, 105); // red at alpha 150 over white
    const auto ellipseArea = [canvas, fill] {
        QImage image = canvas->grab().toImage();
        while (!canvas->regionsUpToDate()) {
            QTest::qWait(2);
            image = canvas->grab().toImage();
        }
        int count = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const QColor c = image.pixelColor(x, y);
                count += qAbs(c.red() - fill.red()) <= 6 && qAbs(c.green() - fill.green()) <= 6 &&
                                 qAbs(c.blue() - fill.blue()) <= 6
                             ? 1
                             : 0;
            }
        }
        return count;
    };
    const int before = ellipseArea();
    const double legendBefore = canvas->view().ellipseBarLength(canvas->size());
    window.findChild<QSlider *>("scaleEllipses")->setValue(8);
    const int after = ellipseArea();
    // Three times the half-axes, nine times the area (the outline and the dot aside).
    QVERIFY2(after > 8.5 * before && after < 9.5 * before,
             qPrintable(QStringLiteral("%1 then %2").arg(before).arg(after)));
    QVERIFY(qAbs(canvas->view().ellipseBarLength(canvas->size()) * 3 - legendBefore) <
            1e-12 * legendBefore);
}

void tst_frmDrawMain::plusAndMinusKeysZoom()
{
    frmDrawMain window(write(network(3)), 800, 500);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    frmDraw *canvas = window.canvas();

    QTest::keyClick(&window, Qt::Key_Plus);
    QCOMPARE(canvas->view().zoomLevel(), 1);
    QTest::keyClick(&window, Qt::Key_Minus);
    QTest::keyClick(&window, Qt::Key_Minus);
    QCOMPARE(canvas->view().zoomLevel(), -1);
    QTest::keyClick(&window, Qt::Key_A);
    QTest::keyClick(&window, Qt::Key_Equal);
    QCOMPARE(canvas->view().zoomLevel(), -1);
    for (int k = 0; k < 30; ++k)
        QTest::keyClick(&window, Qt::Key_Plus);
    QCOMPARE(canvas->view().zoom(), 11.0);

    // The keys reach the window from the control that has the focus, the canvas at first.
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    QCOMPARE(QApplication::focusWidget(), canvas);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Minus);
    QCOMPARE(canvas->view().zoomLevel(), 9);
}

void tst_frmDrawMain::missingFile()
{
    frmDrawMain window(m_dir->filePath("absent.drw"), 600, 400);
    QCOMPARE(window.canvas()->drawing().fileName, QStringLiteral("absent.drw"));
    QCOMPARE(window.findChild<QComboBox *>("epochs")->count(), 0);
    for (int k = 2; k < 8; ++k)
        QVERIFY(!window.findChild<QCheckBox *>(kBoxes[k])->isEnabled());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QVERIFY(!window.grab().isNull());
}

QTEST_MAIN(tst_frmDrawMain)
#include "tst_frmdrawmain.moc"

void tst_frmDrawMain::statusLineShowsTheGroundUnderTheMouse()
{
    // P1 free (it has the only absolute ellipse), P3 fixed.
    frmDrawMain window(write(network(1)), 900, 600);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    frmDraw *canvas = window.canvas();
    const QSize size = canvas->size();

    moveMouse(canvas, canvas->view().toScreen(100, 0, size));
    QVERIFY2(window.cursorText().startsWith(QStringLiteral("E = 100.000 m   N = 0.000 m")),
             qPrintable(window.cursorText()));
    QVERIFY(window.cursorText().endsWith(QStringLiteral("Point P3 (fixe)")));
    moveMouse(canvas, canvas->view().toScreen(0, 0, size));
    QVERIFY(window.cursorText().endsWith(QStringLiteral("Point P1 (libre)")));

    // Halfway between P1 and P4, on no point: 50 m north, within half a pixel.
    const QPoint between = canvas->view().toScreen(0, 50, size);
    moveMouse(canvas, between);
    const double pixel = 1.0 / canvas->view().pixelsPerUnit(size);
    const QStringList words = window.cursorText().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    QCOMPARE(words.size(), 8);
    QVERIFY(qAbs(words.at(2).toDouble()) <= pixel / 2);
    QVERIFY(qAbs(words.at(6).toDouble() - 50.0) <= pixel / 2);

    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(canvas, &leave);
    QVERIFY(window.cursorText().isEmpty());
}

void tst_frmDrawMain::wheelZoomsAboutTheMouse()
{
    frmDrawMain window(write(network(1)), 900, 600);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    frmDraw *canvas = window.canvas();
    const QPoint p3 = canvas->view().toScreen(100, 0, canvas->size());
    QWheelEvent wheel(p3, canvas->mapToGlobal(p3), QPoint(), QPoint(0, 2 * 120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(canvas, &wheel);
    QCOMPARE(canvas->view().zoomLevel(), 2);
    QCOMPARE(canvas->view().toScreen(100, 0, canvas->size()), p3);
    QVERIFY(canvas->view().centreX() > 0.0);
}

void tst_frmDrawMain::wholeViewFromTheButtonAndTheHomeKey()
{
    frmDrawMain window(write(network(1)), 900, 600);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    frmDraw *canvas = window.canvas();
    QAction *whole = window.findChild<QAction *>(QStringLiteral("showWhole"));
    QVERIFY(whole);
    for (int way = 0; way < 2; ++way) {
        QTest::keyClick(canvas, Qt::Key_Plus);
        QTest::mousePress(canvas, Qt::LeftButton, Qt::NoModifier, QPoint(100, 100));
        QMouseEvent drag(QEvent::MouseMove, QPoint(180, 150), canvas->mapToGlobal(QPoint(180, 150)),
                         Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(canvas, &drag);
        QTest::mouseRelease(canvas, Qt::LeftButton, Qt::NoModifier, QPoint(180, 150));
        QVERIFY(canvas->view().centreX() != 0.0);
        if (way == 0)
            whole->trigger();
        else
            QTest::keyClick(canvas, Qt::Key_Home);
        QCOMPARE(canvas->view().zoomLevel(), 0);
        QCOMPARE(canvas->view().centreX(), 0.0);
        QCOMPARE(canvas->view().centreY(), 0.0);
    }
}

void tst_frmDrawMain::svgExportHoldsEveryPoint()
{
    DrwDrawing d = network(1);
    for (int i = 0; i < d.points.size(); ++i)
        d.points[i].name = QStringLiteral("Borne %1 é").arg(i + 1);
    frmDrawMain window(write(d), 900, 600);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    ScriptedPrompter prompter;
    const QString path = m_dir->filePath(QStringLiteral("reseau.svg"));
    prompter.files.enqueue({path});
    window.findChild<QAction *>(QStringLiteral("exportSvg"))->trigger();
    QCOMPARE(prompter.dialogs.size(), 1);
    QVERIFY(prompter.messages.isEmpty());

    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QXmlStreamReader svg(&file);
    QStringList texts;
    // Shapes by kind and by the fill of the group that holds them: "path #0000ff" for a fixed
    // point's triangle, "circle #0000ff" for a free point's dot, "path #ff0000" for an ellipse.
    QMap<QString, int> shapes;
    QStringList fills;
    bool isSvg = false;
    while (!svg.atEnd()) {
        const QXmlStreamReader::TokenType token = svg.readNext();
        if (token == QXmlStreamReader::EndElement && svg.name() == QLatin1String("g"))
            fills.removeLast();
        if (token != QXmlStreamReader::StartElement)
            continue;
        const QStringRef name = svg.name();
        if (name == QLatin1String("svg"))
            isSvg = true;
        else if (name == QLatin1String("g"))
            fills.append(svg.attributes().value(QLatin1String("fill")).toString());
        else if (name == QLatin1String("text"))
            texts.append(svg.readElementText(QXmlStreamReader::IncludeChildElements).trimmed());
        else if (!fills.isEmpty())
            ++shapes[name + QLatin1Char(' ') + fills.last()];
    }
    QVERIFY2(!svg.hasError(), qPrintable(svg.errorString()));
    QVERIFY(isSvg);
    for (const DrwPoint &point : d.points)
        QCOMPARE(texts.count(point.name), 1);
    QVERIFY(texts.contains(QStringLiteral("Point fixe")));
    QVERIFY(texts.contains(QStringLiteral("Point libre")));
    // Four fixed points and one free point, each with its mark in the legend.
    QCOMPARE(shapes.value(QStringLiteral("path #0000ff")), 4 + 1);
    QCOMPARE(shapes.value(QStringLiteral("circle #0000ff")), 1 + 1);
    // The absolute and the relative ellipse.
    QCOMPARE(shapes.value(QStringLiteral("path #ff0000")), 1);
    QCOMPARE(shapes.value(QStringLiteral("path #0000c8")), 1);
}

void tst_frmDrawMain::exportMenu()
{
    frmDrawMain window(write(network(1)), 900, 600);
    auto *menu = window.findChild<QMenu *>(QStringLiteral("exports"));
    QVERIFY(menu);
    QCOMPARE(menu->title(), QStringLiteral("Exporter"));
    QAction *geoJson = window.findChild<QAction *>(QStringLiteral("exportGeoJson"));
    QVERIFY(!geoJson->isEnabled());
    QVERIFY(!geoJson->toolTip().isEmpty());
    for (const char *name : {"exportCsv", "exportPng", "exportSvg", "exportPdf", "exportDxf"})
        QVERIFY(window.findChild<QAction *>(QLatin1String(name))->isEnabled());

    // Each export proposes the drawing's folder and name; cancelled, it writes nothing.
    ScriptedPrompter prompter;
    window.findChild<QAction *>(QStringLiteral("exportDxf"))->trigger();
    QCOMPARE(prompter.dialogs.size(), 1);
    QCOMPARE(QFileInfo(prompter.dialogs.at(0).directory).fileName(), QStringLiteral("reseau.dxf"));
    QVERIFY(!QFileInfo::exists(m_dir->filePath(QStringLiteral("reseau.dxf"))));

    // A file that cannot be written is told, not passed over.
    prompter.files.enqueue({m_dir->filePath(QStringLiteral("missing/folder/reseau.csv"))});
    window.findChild<QAction *>(QStringLiteral("exportCsv"))->trigger();
    QCOMPARE(prompter.messages.size(), 1);
    QCOMPARE(prompter.messages.at(0).kind, MessageKind::Warning);
}

void tst_frmDrawMain::printing()
{
    frmDrawMain window(write(network(1)), 900, 600);
    window.setWindowTitle(QStringLiteral("Dessin : reseau.iob"));
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QAction *print = window.findChild<QAction *>(QStringLiteral("print"));
    QCOMPARE(print->shortcut(), QKeySequence(QKeySequence::Print));

    ScriptedPrompter prompter;
    print->trigger();
    QCOMPARE(prompter.printDialogs, 1);

    const QString path = m_dir->filePath(QStringLiteral("printed.pdf"));
    prompter.printFiles.enqueue(path);
    print->trigger();
    QCOMPARE(prompter.printDialogs, 2);
    const QByteArray bytes = fileBytes(path);
    QVERIFY(bytes.startsWith("%PDF-"));
    QVERIFY(bytes.contains("/Count 1"));
}
