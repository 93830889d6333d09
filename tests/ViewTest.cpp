// The overlay shapes (measures, labels, drawing), the picture the view paints, and editing
// the shapes with the mouse on the real view inside a real main window.

#include "app/MainWindow.h"
#include "model/FishPalette.h"
#include "model/OverlayShapes.h"
#include "support/DialogScope.h"
#include "support/FindControl.h"
#include "view/ViewRenderer.h"
#include "view/ui/VideoView.h"

#include <QFontMetrics>
#include <QPainter>
#include <QSet>
#include <QStatusBar>
#include <QTest>

#include <cmath>

#include <optional>

namespace {

const QColor background(10, 20, 30);
const QColor grey(200, 200, 200);
const QColor white(255, 255, 255);
const QColor blue(128, 128, 255);
const QColor red(255, 0, 0);

QImage blankFrame(int w = 200, int h = 150)
{
    QImage frame(w, h, QImage::Format_RGB888);
    frame.fill(background);
    return frame;
}

QColor at(const QImage &img, int x, int y)
{
    return QColor(img.pixel(x, y));
}

// How many pixels of `colour` lie on row y between x0 and x1 inclusive.
int countInRow(const QImage &img, int y, int x0, int x1, const QColor &colour)
{
    int n = 0;
    for (int x = x0; x <= x1; ++x)
        n += at(img, x, y) == colour;
    return n;
}

int countInColumn(const QImage &img, int x, int y0, int y1, const QColor &colour)
{
    int n = 0;
    for (int y = y0; y <= y1; ++y)
        n += at(img, x, y) == colour;
    return n;
}

int countNot(const QImage &img, const QRect &region, const QColor &colour)
{
    int n = 0;
    for (int y = region.top(); y <= region.bottom(); ++y)
        for (int x = region.left(); x <= region.right(); ++x)
            n += at(img, x, y) != colour;
    return n;
}

int countIn(const QImage &img, const QRect &region, const QColor &colour)
{
    int n = 0;
    for (int y = region.top(); y <= region.bottom(); ++y)
        for (int x = region.left(); x <= region.right(); ++x)
            n += at(img, x, y) == colour;
    return n;
}

OverlaySet trackingAreaOnly()
{
    OverlaySet set;
    set.areas << QRect(QPoint(0, 0), QPoint(0, 0));
    set.areaLabels << "Tracking Area";
    return set;
}

Ruler makeRuler(int x1, int y1, int x2, int y2, float length)
{
    Ruler r;
    r.label = "Ruler1-r";
    r.x1 = x1;
    r.y1 = y1;
    r.x2 = x2;
    r.y2 = y2;
    r.length = length;
    return r;
}

PointDist makePointDist(int cx, int cy, int rx, int ry, float length)
{
    PointDist d;
    d.label = "PointDist1-p";
    d.centrex = cx;
    d.centrey = cy;
    d.radx = rx;
    d.rady = ry;
    d.length = length;
    return d;
}

// A single-fish history: record i (counted back from the newest) at positions[i].
RecordLookup historyOf(const QList<QPoint> &positions)
{
    return [positions](int index, TrackRecord &record) {
        if (index < 0 || index >= positions.size())
            return false;
        record = TrackRecord();
        record.x = positions[index].x();
        record.y = positions[index].y();
        return true;
    };
}

} // namespace

class ViewTest : public QObject
{
    Q_OBJECT

    std::optional<DialogScope> dialogs;

private Q_SLOTS:
    void init() { dialogs.emplace(); }

    // Every test ends with no dialog asked for that it did not queue and no message shown.
    void cleanup() { dialogs.reset(); }

    // ---- Measures -----------------------------------------------------------------------------

    void rulerMeasureIsSignedProjection()
    {
        const Ruler r = makeRuler(10, 20, 50, 20, 8.0f); // 40 pixels for 8 units
        QCOMPARE(r.Measure(QPointF(10, 20)), 0.0f);
        QCOMPARE(r.Measure(QPointF(50, 20)), 8.0f);
        QCOMPARE(r.Measure(QPointF(30, -100)), 4.0f); // sideways distance does not count
        QCOMPARE(r.Measure(QPointF(0, 25)), -2.0f); // before the start: negative
        QCOMPARE(r.Measure(QPointF(70, 20)), 12.0f); // past the end: above length

        // A slanted ruler of pixel length 5 (3-4-5), read backwards and forwards.
        const Ruler slanted = makeRuler(1, 1, 4, 5, 10.0f);
        QCOMPARE(slanted.Measure(QPointF(4, 5)), 10.0f);
        QCOMPARE(slanted.Measure(QPointF(-2, -3)), -10.0f);
        // (1,1) + 2.5 * u, pushed off the line along the normal (-0.8, 0.6) by 7 pixels.
        QCOMPARE(slanted.Measure(QPointF(1 + 1.5 - 5.6, 1 + 2.0 + 4.2)), 5.0f);

        // Computed in single precision: the same arithmetic in float gives the same bits.
        const Ruler odd = makeRuler(3, 7, 1000, 333, 12.7f);
        const QPointF f(123.0, 456.0);
        const float dx = 997.0f, dy = 326.0f, L = std::sqrt(dx * dx + dy * dy);
        const float proj = (123.0f - 3.0f) * (dx / L) + (456.0f - 7.0f) * (dy / L);
        QVERIFY(odd.Measure(f) == proj * 12.7f / L);
    }

    void pointDistanceMeasure()
    {
        const PointDist d = makePointDist(10, 10, 13, 14, 2.0f); // radius 5 pixels = 2 units
        QCOMPARE(d.Measure(QPointF(10, 10)), 0.0f);
        QCOMPARE(d.Measure(QPointF(13, 14)), 2.0f);
        QCOMPARE(d.Measure(QPointF(10, 20)), 4.0f);
        QCOMPARE(d.Measure(QPointF(-20, -30)), 20.0f); // 50 pixels away, any direction
    }

    // Shapes of zero pixel length measure 0 and are drawn without trouble; a ruler whose
    // real length is 0 (length dialog cancelled) measures 0 everywhere.
    void degenerateShapes()
    {
        const Ruler point = makeRuler(30, 40, 30, 40, 7.0f);
        QCOMPARE(point.Measure(QPointF(80, 90)), 0.0f);
        QCOMPARE(point.Measure(QPointF(30, 40)), 0.0f);
        const PointDist centreOnly = makePointDist(60, 60, 60, 60, 3.0f);
        QCOMPARE(centreOnly.Measure(QPointF(0, 0)), 0.0f);
        const Ruler noLength = makeRuler(0, 0, 10, 0, 0.0f);
        QCOMPARE(noLength.Measure(QPointF(25, 3)), 0.0f);
        QCOMPARE(noLength.Measure(QPointF(-25, 3)), 0.0f);

        OverlaySet set = trackingAreaOnly();
        set.rulers << point;
        set.pointDists << centreOnly;
        ViewState state;
        state.fishPosition = QPoint(100, 100);
        state.fishFound = true;
        state.showResults = true;
        const QImage img = ViewRenderer::render(blankFrame(), set, state, {});
        QVERIFY(!img.isNull());
        // The ruler's end ticks still cross its single point, across the horizontal.
        QVERIFY(countInColumn(img, 30, 30, 50, grey) > 0);
        // The point distance keeps its cross.
        QCOMPARE(at(img, 55, 60), grey);
        QCOMPARE(at(img, 60, 65), grey);
    }

    // ---- Labels ------------------------------------------------------------------------------

    void labelsAndNumbering()
    {
        MainWindow w;
        VideoView *view = w.view();
        QCOMPARE(view->AreaLabels(), QStringList { "Tracking Area" });
        QCOMPARE(view->Areas(), QList<QRect> { QRect(0, 0, 1, 1) });

        dialogs->queueText("left");
        w.AddNewArea();
        dialogs->queueText(""); // an empty label is still a label
        w.AddNewArea();
        dialogs->queueText(QString()); // cancelled: nothing added
        w.AddNewArea();
        QCOMPARE(view->AreaLabels(), (QStringList { "Tracking Area", "Zone1-left", "Zone2-" }));
        QCOMPARE(view->Areas().size(), 3);

        dialogs->queueText("edge");
        dialogs->queueReal(1.5);
        w.AddNewRuler();
        dialogs->queueText("tank");
        dialogs->queueReal(25.4);
        w.AddNewRuler();
        dialogs->queueText("gone");
        dialogs->queueReal(99.0, false); // length cancelled: nothing added
        w.AddNewRuler();
        dialogs->queueText(QString()); // label cancelled: no length asked, nothing added
        w.AddNewRuler();
        dialogs->queueText("flat");
        dialogs->queueReal(0.0); // a length that scales nothing: refused with a message
        w.AddNewRuler();
        QCOMPARE(dialogs->takeMessages().size(), 1);
        const QList<Ruler> rulers = view->Rulers();
        QCOMPARE(rulers.size(), 2);
        QCOMPARE(rulers[0].label, QString("Ruler1-edge"));
        QCOMPARE(rulers[1].label, QString("Ruler2-tank"));
        QCOMPARE(rulers[1].length, 25.4f);
        QCOMPARE(rulers[1].x1 + rulers[1].y1 + rulers[1].x2 + rulers[1].y2, 0);

        dialogs->queueText("pole");
        dialogs->queueReal(-3.0); // negative: refused with a message
        w.AddNewPointDist();
        const QList<RecordedMessage> refused = dialogs->takeMessages();
        QCOMPARE(refused.size(), 1);
        QCOMPARE(refused[0].title, QString("Length must be positive"));
        QVERIFY(view->PointDists().isEmpty());
        dialogs->queueText("pole top"); // whitespace in a label becomes "_"
        dialogs->queueReal(3.0);
        w.AddNewPointDist();
        QCOMPARE(view->PointDists().size(), 1);
        QCOMPARE(view->PointDists()[0].label, QString("PointDist1-pole_top"));
        QCOMPARE(view->PointDists()[0].length, 3.0f);

        // The dialogs asked, in order, with their titles and prompts.
        QStringList asked;
        for (const RecordedQuestion &q : dialogs->questions) {
            QCOMPARE(q.caption, QString("Input"));
            asked << q.kind + ":" + q.filter;
        }
        QCOMPARE(asked.mid(0, 3), QStringList(3, "text:Enter a label for the zone."));
        QCOMPARE(asked[3], QString("text:Enter a label for the ruler."));
        QCOMPARE(asked[4], QString("real:Enter length of the ruler (in e.g. inch, cm)."));
        QCOMPARE(asked[9], QString("text:Enter a label for the ruler."));
        QCOMPARE(asked[10], QString("text:Enter a label for the ruler."));
        QCOMPARE(asked[12], QString("text:Enter a label for the point distance measure."));
        QCOMPARE(asked[13], QString("real:Enter a known length to measure (in e.g. inch, cm)."));
        QCOMPARE(asked.size(), 16);

        // A reset starts every numbering again; point distances go with the rest.
        view->ResetOverlays();
        QCOMPARE(view->AreaLabels(), QStringList { "Tracking Area" });
        QVERIFY(view->Rulers().isEmpty());
        QVERIFY(view->PointDists().isEmpty());
        dialogs->queueText("b");
        w.AddNewArea();
        dialogs->queueText("c");
        dialogs->queueReal(1.0);
        w.AddNewRuler();
        dialogs->queueText("d");
        dialogs->queueReal(1.0);
        w.AddNewPointDist();
        QCOMPARE(view->AreaLabels().last(), QString("Zone1-b"));
        QCOMPARE(view->Rulers().last().label, QString("Ruler1-c"));
        QCOMPARE(view->PointDists().last().label, QString("PointDist1-d"));
    }

    // A new zone covers the frame on display; with no frame yet, the pixel at the origin.
    void newZoneGeometry()
    {
        MainWindow w;
        VideoView *view = w.view();
        dialogs->queueText("early");
        w.AddNewArea();
        QCOMPARE(view->Areas().last(), QRect(QPoint(0, 0), QPoint(0, 0)));

        view->SetImage(blankFrame(640, 480));
        view->Redraw();
        dialogs->queueText("full");
        w.AddNewArea();
        QCOMPARE(view->Areas().last(), QRect(QPoint(0, 0), QPoint(639, 479)));
    }

    // ---- Drawing -----------------------------------------------------------------------------

    // Area labels stay inside the frame and clear of each other (a zone over the whole frame
    // no longer writes over the Tracking Area's label); rulers and point distances carry a dark
    // outline beside their grey, so they show on light water too.
    void labelsInsideAndApartOutlinesBeside()
    {
        OverlaySet set = trackingAreaOnly();
        set.areas[0] = QRect(QPoint(0, 0), QPoint(120, 100));
        set.areas << QRect(QPoint(0, 0), QPoint(199, 149))
                  << QRect(QPoint(185, 60), QPoint(199, 80));
        set.areaLabels << "Zone1-all"
                       << "Zone2-edge";
        const QImage img = ViewRenderer::render(blankFrame(), set, ViewState(), {});
        const QColor trackingColour(128, 255, 128), wholeColour(255, 128, 128);
        const QColor edgeColour = areaColour(2);
        const QFontMetrics metrics(QFont {});
        const int lineHeight = metrics.height();
        // The Tracking Area's label at its corner, the whole-frame zone's label a line lower.
        const QRect first(QPoint(2, 2), QPoint(60, lineHeight - 2));
        QVERIFY(countIn(img, first, trackingColour) > 0);
        QCOMPARE(countIn(img, first, wholeColour), 0);
        QVERIFY(countIn(img, QRect(QPoint(2, lineHeight + 1), QPoint(60, 2 * lineHeight - 1)),
                    wholeColour)
            > 0);
        // A label that would run off the right edge is moved left, whole inside the frame.
        const int width = metrics.horizontalAdvance("Zone2-edge");
        QVERIFY(
            countIn(img, QRect(QPoint(199 - width, 60), QPoint(183, 60 + lineHeight)), edgeColour)
            > 0);

        OverlaySet shapes = trackingAreaOnly();
        shapes.rulers << makeRuler(20, 100, 180, 100, 25.4f);
        shapes.pointDists << makePointDist(100, 40, 130, 40, 1.0f);
        const QImage drawn = ViewRenderer::render(blankFrame(), shapes, ViewState(), {});
        const QColor black(0, 0, 0);
        QVERIFY(countInRow(drawn, 99, 60, 170, black) >= 20); // both sides of the dashed ruler
        QVERIFY(countInRow(drawn, 101, 60, 170, black) >= 20);
        QCOMPARE(countInRow(drawn, 100, 60, 170, black), 0); // the line itself stays grey
        QVERIFY(countInRow(drawn, 39, 91, 109, black) >= 12); // along the cross (text aside)
        QCOMPARE(countInRow(drawn, 40, 90, 110, grey), 21);
    }

    void areaColoursByIndex()
    {
        OverlaySet set;
        QList<QColor> expected = {
            { 128, 255, 128 },
            { 255, 128, 128 },
            { 128, 128, 255 },
            { 0, 46, 184 },
            { 255, 102, 51 },
            { 184, 138, 0 },
            { 255, 51, 204 },
            { 51, 255, 204 },
            { 204, 255, 51 },
            { 204, 255, 51 },
        };
        for (int i = 0; i < expected.size(); ++i) {
            // Side by side, each 15 pixels wide and 100 high, labels empty.
            set.areas << QRect(QPoint(5 + i * 19, 20), QPoint(20 + i * 19, 120));
            set.areaLabels << QString();
        }
        ViewState state;
        state.fishPosition = QPoint(199, 149); // outside every area
        const QImage img = ViewRenderer::render(blankFrame(), set, state, {});
        QCOMPARE(img.format(), QImage::Format_RGB32);
        for (int i = 0; i < expected.size(); ++i) {
            QCOMPARE(at(img, 5 + i * 19, 70), expected[i]); // left edge
            QCOMPARE(at(img, 12 + i * 19, 20), expected[i]); // top edge
            QCOMPARE(at(img, 12 + i * 19, 70), background); // inside stays clear
        }
    }

    // The outline is 4 pixels wide while the marker is inside, edges included, else 2; this
    // holds with results hidden, when no marker is drawn.
    void highlightWidth_data()
    {
        QTest::addColumn<QPoint>("fish");
        QTest::addColumn<int>("width");
        QTest::newRow("outside") << QPoint(150, 100) << 2;
        QTest::newRow("inside") << QPoint(60, 60) << 4;
        QTest::newRow("top-left corner") << QPoint(40, 30) << 4;
        QTest::newRow("right edge") << QPoint(100, 60) << 4;
        QTest::newRow("bottom edge") << QPoint(70, 90) << 4;
        QTest::newRow("just right") << QPoint(101, 60) << 2;
        QTest::newRow("just below") << QPoint(70, 91) << 2;
    }

    void highlightWidth()
    {
        QFETCH(QPoint, fish);
        QFETCH(int, width);
        OverlaySet set = trackingAreaOnly();
        set.areas << QRect(QPoint(40, 30), QPoint(100, 90));
        set.areaLabels << "Zone1-z";
        ViewState state;
        state.fishPosition = fish;
        state.fishFound = true;
        const QImage img = ViewRenderer::render(blankFrame(), set, state, {});
        const QColor zone(255, 128, 128);
        QCOMPARE(countInRow(img, 75, 30, 50, zone), width); // left edge
        QCOMPARE(countInRow(img, 75, 90, 110, zone), width); // right edge
        QCOMPARE(countInColumn(img, 70, 80, 100, zone), width); // bottom edge
    }

    void rulerIsLightGreyAndDashed()
    {
        OverlaySet set = trackingAreaOnly();
        set.rulers << makeRuler(20, 100, 180, 100, 25.4f);
        ViewState state;
        state.fishPosition = QPoint(100, 130);
        const QImage img = ViewRenderer::render(blankFrame(), set, state, {});
        // Away from the labels and ticks the line alternates grey dashes and gaps.
        int greyCount = 0, gaps = 0, changes = 0;
        for (int x = 90; x <= 170; ++x) {
            const QColor c = at(img, x, 100);
            QVERIFY2(c == grey || c == background, qPrintable(c.name()));
            greyCount += c == grey;
            gaps += c == background;
            changes += x > 90 && c != at(img, x - 1, 100);
        }
        QVERIFY(greyCount >= 30);
        QVERIFY(gaps >= 30);
        QVERIFY(changes >= 20); // short dashes, not one long gap
        // End ticks cross the line at both ends.
        QVERIFY(countInColumn(img, 20, 91, 109, grey) >= 6);
        QVERIFY(countInColumn(img, 180, 91, 109, grey) >= 6);
        // Nothing measured while results are hidden: nothing between the line and the fish.
        QCOMPARE(countNot(img, QRect(QPoint(40, 112), QPoint(160, 149)), background), 0);
    }

    // The measured value, its perpendicular and right-angle mark appear with results and a
    // found fish, on the fish's side.
    void rulerMeasureDrawing()
    {
        OverlaySet set = trackingAreaOnly();
        set.rulers << makeRuler(20, 40, 180, 40, 10.0f);
        ViewState state;
        state.fishPosition = QPoint(100, 120);
        state.fishFound = true;
        state.showResults = true;
        const QImage img = ViewRenderer::render(blankFrame(), set, state, {});
        // Dashed perpendicular from the foot (100, 40) down to the fish.
        QVERIFY(countInColumn(img, 100, 55, 110, grey) >= 15);
        QVERIFY(countInColumn(img, 100, 55, 110, background) >= 15);
        // Right-angle mark: (110, 40) -> (110, 50) -> (100, 50), solid.
        QCOMPARE(countInColumn(img, 110, 42, 49, grey), 8);
        QCOMPARE(countInRow(img, 50, 101, 109, grey), 9);
        // The value text sits on the other side of the ruler (above it).
        QVERIFY(countNot(img, QRect(QPoint(95, 22), QPoint(140, 37)), background) > 0);

        // A fish that is not found: no measure, only the ruler and the red marker.
        state.fishFound = false;
        const QImage lost = ViewRenderer::render(blankFrame(), set, state, {});
        QCOMPARE(countInColumn(lost, 110, 42, 49, grey), 0);
        QCOMPARE(countInColumn(lost, 100, 55, 110, grey), 0);
    }

    void pointDistanceDrawing()
    {
        OverlaySet set = trackingAreaOnly();
        set.pointDists << makePointDist(100, 75, 130, 115, 1.0f); // radius 50
        ViewState state;
        state.fishPosition = QPoint(20, 75);
        const QImage hidden = ViewRenderer::render(blankFrame(), set, state, {});
        // The cross at the centre, the dashed circle through the reference distance.
        QCOMPARE(countInRow(hidden, 75, 90, 110, grey), 21);
        QCOMPARE(countInColumn(hidden, 100, 65, 85, grey), 21);
        int onCircle = 0;
        for (int y = 26; y <= 124; ++y)
            onCircle += at(hidden, 150, y) == grey || at(hidden, 149, y) == grey;
        QVERIFY(onCircle > 0);
        QVERIFY(countInColumn(hidden, 150, 26, 124, grey) < 40); // dashed, not solid
        // No line to the fish while results are hidden.
        QCOMPARE(countInRow(hidden, 75, 30, 48, grey), 0);

        state.showResults = true;
        state.fishFound = true;
        const QImage shown = ViewRenderer::render(blankFrame(), set, state, {});
        QVERIFY(countInRow(shown, 75, 30, 48, grey) > 0); // dashed line from centre to fish
        // The measured value under the centre.
        QVERIFY(countNot(shown, QRect(QPoint(101, 78), QPoint(140, 92)), background)
            > countNot(hidden, QRect(QPoint(101, 78), QPoint(140, 92)), background));
    }

    // Results hidden: the picture is the same whether or not the fish is found, has no marker
    // and no measures; areas are still highlighted by the marker position.
    void hiddenResultsDrawNoMarkerOrMeasures()
    {
        OverlaySet set = trackingAreaOnly();
        set.areas[0] = QRect(QPoint(30, 30), QPoint(150, 120));
        set.rulers << makeRuler(40, 20, 160, 20, 5.0f);
        set.pointDists << makePointDist(60, 100, 70, 100, 1.0f);
        ViewState state;
        state.fishPosition = QPoint(120, 70);
        state.fishFound = true;
        const QImage found = ViewRenderer::render(blankFrame(), set, state, {});
        state.fishFound = false;
        const QImage lost = ViewRenderer::render(blankFrame(), set, state, {});
        QCOMPARE(found, lost);
        QCOMPARE(countNot(found, QRect(QPoint(110, 60), QPoint(130, 80)), background), 0);
        QCOMPARE(countInRow(found, 100, 20, 40, QColor(128, 255, 128)), 4);

        state.showResults = true;
        state.fishFound = true;
        const QImage shown = ViewRenderer::render(blankFrame(), set, state, {});
        QVERIFY(shown != found);
        // Found: white square of half-size (3 - 1) / 2 = 1, corners at the fish +- 1.
        QCOMPARE(at(shown, 119, 69), white);
        QCOMPARE(at(shown, 121, 71), white);
        QCOMPARE(at(shown, 122, 70), background);
        QCOMPARE(at(shown, 118, 68), background);
        // Not found: red, width 2, half-size 2.
        state.fishFound = false;
        const QImage missing = ViewRenderer::render(blankFrame(), set, state, {});
        QCOMPARE(at(missing, 118, 70), red);
        QCOMPARE(at(missing, 122, 72), red);
        QCOMPARE(at(missing, 120, 70), background); // no measure lines either

        // A mean filter size of 1 gives half-size 0: the marker is still a visible point.
        state.fishFound = true;
        state.meanFilterSize = 1;
        const QImage tiny = ViewRenderer::render(blankFrame(), set, state, {});
        QCOMPARE(at(tiny, 120, 70), white);
    }

    void singleFishTrail()
    {
        // Record i (counted back from the newest) at x = 5 + 4i on row 130: segment i spans
        // x = 5 + 4i .. 9 + 4i and has its middle at 7 + 4i.
        QList<QPoint> positions;
        for (int i = 0; i < 40; ++i)
            positions << QPoint(5 + 4 * i, 130);
        OverlaySet set = trackingAreaOnly();
        ViewState state;
        state.fishPosition = QPoint(150, 30);
        state.fishFound = true;
        state.showResults = true;

        QImage img = ViewRenderer::render(blankFrame(), set, state, historyOf(positions));
        QCOMPARE(at(img, 7, 130), blue); // newest step
        QCOMPARE(at(img, 11, 130), white); // older steps
        QCOMPARE(at(img, 123, 130), white); // step 29, the last of the thirty
        QCOMPARE(at(img, 127, 130), background);

        // Reviewing three records back: the light-blue line runs up to the newest record,
        // the white trail starts three steps further back.
        state.reviewIndex = 3;
        img = ViewRenderer::render(blankFrame(), set, state, historyOf(positions));
        QCOMPARE(at(img, 7, 130), blue);
        QCOMPARE(at(img, 19, 130), blue); // step 3
        QCOMPARE(at(img, 23, 130), white);
        QCOMPARE(at(img, 135, 130), white); // step 32
        QCOMPARE(at(img, 139, 130), background);

        // No history, no trail (and no crash).
        img = ViewRenderer::render(blankFrame(), set, state, historyOf({}));
        QCOMPARE(countNot(img, QRect(QPoint(0, 125), QPoint(199, 135)), background), 0);
    }

    void multiFishMarkersAndTrail()
    {
        // Two fish, fish 1 lost in record 1: its segments 0 and 1 are not drawn.
        RecordLookup history = [](int index, TrackRecord &record) {
            if (index < 0 || index > 2)
                return false;
            record = TrackRecord();
            record.fishPositions = { QPoint(20 + 30 * index, 40), QPoint(20 + 30 * index, 100) };
            record.fishFoundFlags = { true, index != 1 };
            return true;
        };
        OverlaySet set = trackingAreaOnly();
        ViewState state;
        state.fishPositions = { QPoint(150, 40), QPoint(150, 100) };
        state.fishPosition = QPoint(5, 5);
        state.fishFound = false; // ignored for several fish
        state.showResults = true;
        state.meanFilterSize = 7;
        const QImage img = ViewRenderer::render(blankFrame(), set, state, history);
        // A square of half-size 3 around each fish in the fish's own colour, with a dark ring.
        const QColor first = FishPalette::colour(0), second = FishPalette::colour(1);
        QVERIFY(first != second);
        QCOMPARE(at(img, 147, 37), first);
        QCOMPARE(at(img, 153, 103), second);
        QCOMPARE(at(img, 146, 36), QColor(Qt::black));
        QCOMPARE(at(img, 150, 100), background);
        // Each fish's index beside its marker, in its colour.
        QVERIFY(countIn(img, QRect(QPoint(156, 20), QPoint(175, 37)), first) > 0);
        QVERIFY(countIn(img, QRect(QPoint(156, 80), QPoint(175, 97)), second) > 0);
        // Without numbers (the view below 100 % draws them at screen size instead): none.
        ViewState unnumbered = state;
        unnumbered.fishNumbers = false;
        const QImage bare = ViewRenderer::render(blankFrame(), set, unnumbered, history);
        QCOMPARE(countIn(bare, QRect(QPoint(156, 20), QPoint(175, 37)), first), 0);
        {
            // The view puts them in the picture at 100 % and beside it when scaled down, so
            // each fish is numbered once.
            MainWindow w;
            VideoView *view = showWithFrame(w);
            view->SetFishPositions(state.fishPositions);
            view->SetShowResults(true);
            view->Redraw();
            const QRect number(QPoint(152, 20), QPoint(175, 37));
            QVERIFY(countIn(view->DisplayedPixmap().toImage(), number, first) > 0);
            view->setZoom(0.5);
            QCOMPARE(countIn(view->DisplayedPixmap().toImage(), number, first), 0);
        }
        QCOMPARE(at(img, 35, 40), first); // fish 0's trail: records 0-1
        QCOMPARE(at(img, 65, 40), first); // fish 0: records 1-2
        QCOMPARE(at(img, 35, 100), background);
        QCOMPARE(at(img, 65, 100), background);

        // Twenty colours far apart, then the same colours in other shapes: every one of 200
        // fish has its own colour and shape.
        QSet<QPair<QRgb, int>> seen;
        for (int i = 0; i < 200; ++i) {
            const QColor c = FishPalette::colour(i);
            QVERIFY(!seen.contains({ c.rgb(), int(FishPalette::marker(i)) }));
            seen.insert({ c.rgb(), int(FishPalette::marker(i)) });
            for (int j = 0; j < std::min(i, FishPalette::colourCount); ++j) {
                const QColor d = FishPalette::colour(j);
                const int distance = std::abs(c.red() - d.red()) + std::abs(c.green() - d.green())
                    + std::abs(c.blue() - d.blue());
                QVERIFY2(i >= FishPalette::colourCount || distance > 60,
                    qPrintable(QString("fish %1 and %2").arg(i + 1).arg(j + 1)));
            }
        }
        // Fish 21 shares fish 1's colour, drawn round: the square's corner stays clear.
        ViewState many;
        many.showResults = true;
        many.meanFilterSize = 7;
        for (int i = 0; i < 21; ++i)
            many.fishPositions << QPoint(20 + (i % 7) * 25, 20 + (i / 7) * 40);
        const QImage crowd = ViewRenderer::render(blankFrame(), set, many, RecordLookup());
        const QPoint first21 = many.fishPositions[20], first1 = many.fishPositions[0];
        QCOMPARE(at(crowd, first1.x() - 3, first1.y() - 3), first);
        QVERIFY(at(crowd, first21.x() - 3, first21.y() - 3) != first);
        QVERIFY(countIn(crowd, QRect(first21 - QPoint(4, 4), first21 + QPoint(4, 4)), first) > 4);
    }

    // ---- Editing with the mouse on the real view ---------------------------------------------

    void dragDirectionsGiveOneRectangle_data()
    {
        QTest::addColumn<QPoint>("from");
        QTest::addColumn<QPoint>("to");
        QTest::newRow("down-right") << QPoint(30, 40) << QPoint(90, 100);
        QTest::newRow("up-left") << QPoint(90, 100) << QPoint(30, 40);
        QTest::newRow("down-left") << QPoint(90, 40) << QPoint(30, 100);
        QTest::newRow("up-right") << QPoint(30, 100) << QPoint(90, 40);
    }

    void dragDirectionsGiveOneRectangle()
    {
        QFETCH(QPoint, from);
        QFETCH(QPoint, to);
        MainWindow w;
        VideoView *view = showWithFrame(w);
        dialogs->queueText("z");
        w.AddNewArea();
        QTest::mousePress(view, Qt::LeftButton, {}, from);
        QTest::mouseMove(view, (from + to) / 2);
        // Mid-drag the rectangle already follows the mouse.
        const QPoint mid = (from + to) / 2;
        QCOMPARE(view->Areas()[1],
            QRect(QPoint(std::min(from.x(), mid.x()), std::min(from.y(), mid.y())),
                QPoint(std::max(from.x(), mid.x()), std::max(from.y(), mid.y()))));
        QTest::mouseMove(view, to);
        QTest::mouseRelease(view, Qt::LeftButton, {}, to);
        QCOMPARE(view->Areas()[1], QRect(QPoint(30, 40), QPoint(90, 100)));
        QCOMPARE(view->Areas()[0], QRect(0, 0, 1, 1)); // the Tracking Area is not touched
    }

    void rightButtonDragAppliesPressAndReleaseOnly()
    {
        MainWindow w;
        VideoView *view = showWithFrame(w);
        dialogs->queueText("r");
        dialogs->queueReal(10.0);
        w.AddNewRuler();
        QTest::mousePress(view, Qt::RightButton, {}, QPoint(10, 15));
        QTest::mouseMove(view, QPoint(50, 60));
        Ruler r = view->Rulers()[0];
        QCOMPARE(QRect(r.x1, r.y1, r.x2, r.y2), QRect(10, 15, 0, 0));
        QTest::mouseRelease(view, Qt::RightButton, {}, QPoint(70, 30));
        r = view->Rulers()[0];
        QCOMPARE(QRect(r.x1, r.y1, r.x2, r.y2), QRect(10, 15, 70, 30));

        // One drag per press of the button: a second drag leaves the ruler.
        QTest::mousePress(view, Qt::LeftButton, {}, QPoint(5, 6));
        QTest::mouseMove(view, QPoint(40, 41));
        QTest::mouseRelease(view, Qt::LeftButton, {}, QPoint(45, 46));
        r = view->Rulers()[0];
        QCOMPARE(QRect(r.x1, r.y1, r.x2, r.y2), QRect(10, 15, 70, 30));

        // A left drag sets the end on every move.
        dialogs->queueText("s");
        dialogs->queueReal(10.0);
        w.AddNewRuler();
        QTest::mousePress(view, Qt::LeftButton, {}, QPoint(5, 6));
        QTest::mouseMove(view, QPoint(40, 41));
        r = view->Rulers()[1];
        QCOMPARE(QRect(r.x1, r.y1, r.x2, r.y2), QRect(5, 6, 40, 41));
        QTest::mouseRelease(view, Qt::LeftButton, {}, QPoint(45, 46));
        r = view->Rulers()[1];
        QCOMPARE(QRect(r.x1, r.y1, r.x2, r.y2), QRect(5, 6, 45, 46));

        // Point distance: the press places the reference point, the release the centre.
        dialogs->queueText("p");
        dialogs->queueReal(2.0);
        w.AddNewPointDist();
        QTest::mousePress(view, Qt::LeftButton, {}, QPoint(60, 70));
        QTest::mouseMove(view, QPoint(65, 75));
        QTest::mouseRelease(view, Qt::LeftButton, {}, QPoint(80, 90));
        const PointDist d = view->PointDists()[0];
        QCOMPARE(QRect(d.radx, d.rady, d.centrex, d.centrey), QRect(60, 70, 80, 90));
        // The ruler is no longer the shape being edited.
        QCOMPARE(view->Rulers()[1].x2, 45);
    }

    void releaseOutsideKeepsOutOfFrameCoordinates()
    {
        MainWindow w;
        VideoView *view = showWithFrame(w);
        dialogs->queueText("out");
        w.AddNewArea();
        QTest::mousePress(view, Qt::LeftButton, {}, QPoint(10, 10));
        QTest::mouseMove(view, QPoint(-7, 60));
        QTest::mouseRelease(view, Qt::LeftButton, {}, QPoint(-7, 500));
        QCOMPARE(view->Areas()[1], QRect(QPoint(-7, 10), QPoint(10, 500)));

        dialogs->queueText("long");
        dialogs->queueReal(1.0);
        w.AddNewRuler();
        QTest::mousePress(view, Qt::LeftButton, {}, QPoint(100, 50));
        QTest::mouseRelease(view, Qt::LeftButton, {}, QPoint(-30, -40));
        const Ruler r = view->Rulers()[0];
        QCOMPARE(QRect(r.x1, r.y1, r.x2, r.y2), QRect(100, 50, -30, -40));
    }

    void clickWithoutMovement()
    {
        MainWindow w;
        VideoView *view = showWithFrame(w);
        w.SetFishArea();
        QTest::mouseClick(view, Qt::LeftButton, {}, QPoint(40, 50));
        QCOMPARE(view->Areas()[0], QRect(40, 50, 1, 1));

        dialogs->queueText("dot");
        dialogs->queueReal(3.0);
        w.AddNewRuler();
        QTest::mouseClick(view, Qt::LeftButton, {}, QPoint(70, 20));
        const Ruler r = view->Rulers()[0];
        QCOMPARE(QRect(r.x1, r.y1, r.x2, r.y2), QRect(70, 20, 70, 20));
        // It measures 0 and is drawn (the view redraws on release) without trouble.
        QCOMPARE(r.Measure(QPointF(10, 10)), 0.0f);
        view->SetShowResults(true);
        view->SetFishFound(true);
        view->Redraw();
        QVERIFY(!view->DisplayedPixmap().isNull());
    }

    void trackingAreaMovesTheMarker()
    {
        MainWindow w;
        VideoView *view = showWithFrame(w);
        QCOMPARE(view->FishPosition(), QPoint(0, 0));
        // The button needs a video; the slot works on the frame shown.
        QVERIFY(!findControl<QPushButton>(w, "setTrackingAreaButton")->isEnabled());
        w.SetFishArea();
        QTest::mousePress(view, Qt::LeftButton, {}, QPoint(30, 41));
        QTest::mouseMove(view, QPoint(20, 30));
        QCOMPARE(view->FishPosition(), QPoint(0, 0)); // only the release moves the marker
        QTest::mouseRelease(view, Qt::LeftButton, {}, QPoint(11, 20));
        // Centre (20.5, 30.5), halves rounded up.
        QCOMPARE(view->FishPosition(), QPoint(21, 31));
        // The area holds the marker, so it is drawn 4 pixels wide.
        const QImage shown = view->DisplayedPixmap().toImage();
        QCOMPARE(countInRow(shown, 38, 5, 15, QColor(128, 255, 128)), 4);

        // Halves round up for negative centres too: (-5 + 2) / 2 = -1.5 -> -1.
        w.SetFishArea();
        QTest::mousePress(view, Qt::LeftButton, {}, QPoint(2, 4));
        QTest::mouseRelease(view, Qt::LeftButton, {}, QPoint(-5, -8));
        QCOMPARE(view->Areas()[0], QRect(QPoint(-5, -8), QPoint(2, 4)));
        QCOMPARE(view->FishPosition(), QPoint(-1, -2));

        // Finishing a zone leaves the marker where it is.
        dialogs->queueText("z");
        w.AddNewArea();
        QTest::mousePress(view, Qt::LeftButton, {}, QPoint(50, 50));
        QTest::mouseRelease(view, Qt::LeftButton, {}, QPoint(71, 71));
        QCOMPARE(view->FishPosition(), QPoint(-1, -2));
    }

    // Selecting or adding a shape leaves the picture alone until the next redraw; moving
    // without a button redraws nothing either.
    void addingAShapeDoesNotRedraw()
    {
        MainWindow w;
        VideoView *view = showWithFrame(w);
        const qint64 before = view->DisplayedPixmap().cacheKey();
        dialogs->queueText("z");
        w.AddNewArea();
        dialogs->queueText("r");
        dialogs->queueReal(4.0);
        w.AddNewRuler();
        dialogs->queueText("p");
        dialogs->queueReal(4.0);
        w.AddNewPointDist();
        w.SetFishArea();
        QCOMPARE(view->DisplayedPixmap().cacheKey(), before);
        QTest::mousePress(view, Qt::LeftButton, {}, QPoint(10, 10));
        QCOMPARE(view->DisplayedPixmap().cacheKey(), before); // a press does not redraw

        // Mouse tracking delivers moves without buttons; they do not edit or redraw.
        QTest::mouseRelease(view, Qt::LeftButton, {}, QPoint(10, 10));
        const qint64 afterRelease = view->DisplayedPixmap().cacheKey();
        QVERIFY(afterRelease != before);
        QMouseEvent hover(QEvent::MouseMove, QPointF(60, 60), view->mapToGlobal(QPointF(60, 60)),
            Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(view, &hover);
        QCOMPARE(view->DisplayedPixmap().cacheKey(), afterRelease);
        QCOMPARE(view->Areas()[0], QRect(10, 10, 1, 1));
    }

    // While paused (correction mode) presses and moves edit nothing; a release places the
    // marker and marks the fish found, even with no shape selected.
    void correctionModeClickPlacesFish()
    {
        MainWindow w;
        VideoView *view = showWithFrame(w);
        w.SetFishArea();
        view->SetCorrectionMode(true);
        QTest::mousePress(view, Qt::LeftButton, {}, QPoint(30, 30));
        QTest::mouseMove(view, QPoint(60, 60));
        QTest::mouseRelease(view, Qt::LeftButton, {}, QPoint(77, 66));
        QCOMPARE(view->Areas()[0], QRect(0, 0, 1, 1));
        QCOMPARE(view->FishPosition(), QPoint(77, 66));
        QVERIFY(view->FishFound());

        view->SetCorrectionMode(false);
        QTest::mousePress(view, Qt::LeftButton, {}, QPoint(30, 30));
        QTest::mouseRelease(view, Qt::LeftButton, {}, QPoint(60, 60));
        QCOMPARE(view->Areas()[0], QRect(QPoint(30, 30), QPoint(60, 60)));
    }

    // The widget shows the same picture as the renderer, at its minimum size.
    void viewShowsRenderedPicture()
    {
        MainWindow w;
        VideoView *view = showWithFrame(w);
        dialogs->queueText("z");
        w.AddNewArea();
        QTest::mousePress(view, Qt::LeftButton, {}, QPoint(20, 20));
        QTest::mouseRelease(view, Qt::LeftButton, {}, QPoint(60, 50));
        const QImage shown
            = view->DisplayedPixmap().toImage().convertToFormat(QImage::Format_RGB32);
        ViewState state;
        const QImage expected = ViewRenderer::render(view->Image(), view->Overlays(), state, {});
        QCOMPARE(shown, expected);
        QCOMPARE(view->minimumSize(), QSize(200, 150));
    }

    // One drag per press, Escape cancels (a new shape goes, a moved one comes back), a
    // cancelled prompt leaves nothing armed, the status bar says what to drag, a click selects
    // the shape under the mouse for Delete, and Ctrl+Z undoes, all through the window's keys.
    void overlayEditingWithUndoEscapeAndDelete()
    {
        MainWindow w;
        VideoView *view = showWithFrame(w);
        QVERIFY(QTest::qWaitForWindowActive(&w));
        auto drag = [&](QPoint from, QPoint to) {
            QTest::mousePress(view, Qt::LeftButton, {}, from);
            QTest::mouseMove(view, to);
            QTest::mouseRelease(view, Qt::LeftButton, {}, to);
        };
        auto hint = [&] { return w.statusBar()->currentMessage(); };

        // A zone whose label has spaces, cancelled with Escape before its drag: gone.
        dialogs->queueText("left  bank");
        w.AddNewArea();
        QVERIFY(hint().contains("Drag a rectangle"));
        QCOMPARE(view->AreaLabels().last(), QString("Zone1-left__bank"));
        QTest::keyClick(&w, Qt::Key_Escape);
        QCOMPARE(view->AreaLabels(), QStringList { "Tracking Area" });
        QVERIFY(hint().isEmpty());
        drag(QPoint(10, 10), QPoint(50, 50)); // nothing armed: edits nothing
        QCOMPARE(view->Areas(), QList<QRect> { QRect(0, 0, 1, 1) });

        // The Tracking Area drawn, then a second drag moves nothing.
        w.SetFishArea();
        drag(QPoint(20, 20), QPoint(120, 100));
        const QRect area(QPoint(20, 20), QPoint(120, 100));
        QCOMPARE(view->Areas()[0], area);
        drag(QPoint(5, 5), QPoint(15, 15));
        QCOMPARE(view->Areas()[0], area);

        // Escape mid-drag puts the area back.
        w.SetFishArea();
        QTest::mousePress(view, Qt::LeftButton, {}, QPoint(60, 60));
        QTest::mouseMove(view, QPoint(90, 90));
        QCOMPARE(view->Areas()[0], QRect(QPoint(60, 60), QPoint(90, 90)));
        QTest::keyClick(&w, Qt::Key_Escape);
        QCOMPARE(view->Areas()[0], area);
        QTest::mouseRelease(view, Qt::LeftButton, {}, QPoint(90, 90));
        QCOMPARE(view->Areas()[0], area);

        // A cancelled prompt after a zone: a later drag leaves that zone alone.
        dialogs->queueText("z");
        w.AddNewArea();
        drag(QPoint(30, 30), QPoint(70, 60));
        const QRect zone(QPoint(30, 30), QPoint(70, 60));
        dialogs->queueText(QString());
        w.AddNewArea();
        drag(QPoint(0, 0), QPoint(199, 149));
        QCOMPARE(view->Areas().size(), 2);
        QCOMPARE(view->Areas()[1], zone);

        // A ruler, selected by a click on its line and deleted; Ctrl+Z brings it back.
        dialogs->queueText("tank width");
        dialogs->queueReal(50.0);
        w.AddNewRuler();
        drag(QPoint(20, 130), QPoint(180, 130));
        QCOMPARE(view->Rulers().size(), 1);
        QCOMPARE(view->Rulers()[0].label, QString("Ruler1-tank_width"));
        QTest::mouseClick(view, Qt::LeftButton, {}, QPoint(100, 132));
        QCOMPARE(view->selectedLabel(), QString("Ruler1-tank_width"));
        QVERIFY(hint().contains("Delete"));
        QTest::keyClick(&w, Qt::Key_Delete);
        QVERIFY(view->Rulers().isEmpty());
        QTest::keyClick(&w, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(view->Rulers().size(), 1);

        // A click inside the zone selects it; the Tracking Area itself is never deleted.
        QTest::mouseClick(view, Qt::LeftButton, {}, QPoint(50, 45));
        QCOMPARE(view->selectedLabel(), QString("Zone1-z"));
        QTest::keyClick(&w, Qt::Key_Delete);
        QCOMPARE(view->AreaLabels(), QStringList { "Tracking Area" });
        QTest::mouseClick(view, Qt::LeftButton, {}, QPoint(100, 20));
        QVERIFY(view->selectedLabel().isEmpty());
        QTest::keyClick(&w, Qt::Key_Delete);
        QCOMPARE(view->Areas()[0], area);

        // Undo walks back through every finished edit, newest first.
        QTest::keyClick(&w, Qt::Key_Z, Qt::ControlModifier); // the zone's deletion
        QCOMPARE(view->Areas().size(), 2);
        QTest::keyClick(&w, Qt::Key_Z, Qt::ControlModifier); // the ruler
        QVERIFY(view->Rulers().isEmpty());
        QTest::keyClick(&w, Qt::Key_Z, Qt::ControlModifier); // the zone
        QTest::keyClick(&w, Qt::Key_Z, Qt::ControlModifier); // the Tracking Area
        QCOMPARE(view->Areas(), QList<QRect> { QRect(0, 0, 1, 1) });
        QVERIFY(!view->canUndo());
    }

private:
    VideoView *showWithFrame(MainWindow &w)
    {
        w.show();
        VideoView *view = w.view();
        view->SetImage(blankFrame());
        view->Redraw();
        return view;
    }
};

QTEST_MAIN(ViewTest)
#include "ViewTest.moc"
