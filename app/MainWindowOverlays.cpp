#include "app/MainWindow.h"
#include "ui/Dialogs.h"
#include "view/ui/VideoView.h"

// The slots that select or add an overlay shape. The shape gets its geometry from the
// next drag on the frame; none of these redraws.

namespace {

// The real-world length of a ruler or point distance. A cancelled dialog answers its
// initial value 0, which is used like any other answer.
float askLength(MainWindow *parent, const QString &prompt)
{
    const double value = Dialogs::current().real(
        parent, MainWindow::tr("Input"), prompt, 0.0, -2147483647.0, 2147483647.0, 1, nullptr);
    return float(value);
}

} // namespace

void MainWindow::SetFishArea()
{
    videoView->SelectArea(0);
}

void MainWindow::AddNewArea()
{
    const QString text
        = Dialogs::current().text(this, tr("Input"), tr("Enter a label for the zone."));
    if (text.isNull())
        return;
    videoView->AddZone(text);
}

void MainWindow::AddNewRuler()
{
    const QString text
        = Dialogs::current().text(this, tr("Input"), tr("Enter a label for the ruler."));
    if (text.isNull())
        return;
    const float length = askLength(this, tr("Enter length of the ruler (in e.g. inch, cm)."));
    videoView->AddRuler(text, length);
}

void MainWindow::AddNewPointDist()
{
    const QString text = Dialogs::current().text(
        this, tr("Input"), tr("Enter a label for the point distance measure."));
    if (text.isNull())
        return;
    const float length = askLength(this, tr("Enter a known length to measure (in e.g. inch, cm)."));
    videoView->AddPointDist(text, length);
}
