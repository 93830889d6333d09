#pragma once
// The dockable "Identity Review" panel: the moments of a multi-fish data file where identities
// may have changed (frame, time, fish, kind), one row each, and the button that swaps two
// fish's identities from the frame shown. It only shows and asks; IdentityReview acts. Its
// parts have object names ("reviewEvents", "swapIdentitiesButton", "reviewSummary") so tests
// find them. GUI thread only.

#include "formats/IdentityEvents.h"

#include <QDockWidget>

class QLabel;
class QPushButton;
class QTableWidget;

class ReviewPanel : public QDockWidget
{
    Q_OBJECT

public:
    explicit ReviewPanel(QWidget *parent = nullptr);

    // Lists `events` under a line naming the file; keeps the chosen row when it still exists.
    void setEvents(const QString &fileName, const QVector<IdentityEvent> &events);
    void clear(const QString &message);
    // The chosen event (-1: none).
    int chosenEvent() const;
    void chooseEvent(int index);
    void setSwapEnabled(bool enabled);

Q_SIGNALS:
    // An event was clicked (or chosen with the keys).
    void eventChosen(int index);
    void swapAsked();

private:
    QLabel *summary = nullptr;
    QTableWidget *table = nullptr;
    QPushButton *swapButton = nullptr;
};
