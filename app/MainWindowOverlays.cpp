#include "app/MainWindow.h"
#include "model/OverlayLabel.h"
#include "ui/Dialogs.h"
#include "view/ui/VideoView.h"

#include <optional>

// The slots that select or add an overlay shape. The shape gets its geometry from the
// next drag on the frame (one drag per press); none of these redraws. A shape still waiting
// for its drag keeps the geometry it has, and a cancelled prompt adds nothing and leaves
// nothing armed, so a later drag never moves an earlier shape.

namespace {

// The real-world length of a ruler or point distance; nothing when the dialog is cancelled
// or the length is not positive (the user is told: speeds measured by it would come out 0
// or infinite).
std::optional<float> askLength(MainWindow *parent, const QString &prompt)
{
    bool ok = false;
    const double value = Dialogs::current().real(
        parent, MainWindow::tr("Input"), prompt, 0.0, -2147483647.0, 2147483647.0, 1, &ok);
    if (!ok)
        return std::nullopt;
    if (!(value > 0.0)) {
        Dialogs::current().critical(parent, MainWindow::tr("Length must be positive"),
            MainWindow::tr("A length of %1 cannot scale a measure: distances and speeds "
                           "measured by it would come out as 0 or infinite. Nothing was added.")
                .arg(value));
        return std::nullopt;
    }
    return float(value);
}

QString askLabel(MainWindow *parent, const QString &prompt)
{
    const QString text = Dialogs::current().text(parent, MainWindow::tr("Input"), prompt);
    return text.isNull() ? text : OverlayLabel::fromUserText(text);
}

} // namespace

void MainWindow::SetFishArea()
{
    videoView->finishEdit();
    videoView->SelectArea(0);
}

void MainWindow::AddNewArea()
{
    videoView->finishEdit();
    const QString text = askLabel(this, tr("Enter a label for the zone."));
    if (text.isNull())
        return;
    videoView->AddZone(text);
}

void MainWindow::AddNewRuler()
{
    videoView->finishEdit();
    const QString text = askLabel(this, tr("Enter a label for the ruler."));
    if (text.isNull())
        return;
    const auto length = askLength(this, tr("Enter length of the ruler (in e.g. inch, cm)."));
    if (!length)
        return;
    videoView->AddRuler(text, *length);
}

void MainWindow::AddNewPointDist()
{
    videoView->finishEdit();
    const QString text = askLabel(this, tr("Enter a label for the point distance measure."));
    if (text.isNull())
        return;
    const auto length = askLength(this, tr("Enter a known length to measure (in e.g. inch, cm)."));
    if (!length)
        return;
    videoView->AddPointDist(text, *length);
}
