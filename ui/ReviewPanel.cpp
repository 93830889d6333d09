#include "ui/ReviewPanel.h"

#include <QAbstractButton>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

ReviewPanel::ReviewPanel(QWidget *parent)
    : QDockWidget(tr("Identity Review"), parent)
{
    setObjectName(QStringLiteral("reviewPanel"));
    auto *content = new QWidget(this);
    auto *layout = new QVBoxLayout(content);
    layout->setContentsMargins(4, 4, 4, 4);
    summary = new QLabel(content);
    summary->setObjectName(QStringLiteral("reviewSummary"));
    summary->setWordWrap(true);
    table = new QTableWidget(0, 4, content);
    table->setObjectName(QStringLiteral("reviewEvents"));
    table->setHorizontalHeaderLabels({ tr("Frame"), tr("Time (s)"), tr("Fish"), tr("Kind") });
    table->verticalHeader()->hide();
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    table->horizontalHeader()->setStretchLastSection(true);
    table->setToolTip(tr("Moments where two fish may have traded identities: click one to see "
                         "every fish where the data file has it"));
    // One event is chosen at a time: the corner button selects nothing.
    table->setCornerButtonEnabled(false);
    for (QAbstractButton *corner : table->findChildren<QAbstractButton *>())
        corner->setToolTip(table->toolTip());
    swapButton = new QPushButton(tr("Swap Identities from Here..."), content);
    swapButton->setObjectName(QStringLiteral("swapIdentitiesButton"));
    swapButton->setToolTip(tr("Two fish trade their data from the frame shown to the end of "
                              "the file (Edit > Undo takes it back)"));
    layout->addWidget(summary);
    layout->addWidget(table, 1);
    layout->addWidget(swapButton);
    setWidget(content);
    // Narrow enough to leave the video room on a 1366x768 screen.
    setMinimumWidth(220);
    connect(
        table, &QTableWidget::currentCellChanged, this, [this](int row, int, int previous, int) {
            if (row >= 0 && row != previous)
                Q_EMIT eventChosen(row);
        });
    // A click on the row already chosen shows it again (the video may have moved meanwhile).
    connect(table, &QTableWidget::cellClicked, this, [this](int row, int) {
        if (row >= 0 && row == table->currentRow())
            Q_EMIT eventChosen(row);
    });
    connect(swapButton, &QPushButton::clicked, this, &ReviewPanel::swapAsked);
    clear(tr("Track several fish, or open a data file with File > Open Data File for "
             "Review..."));
}

void ReviewPanel::setEvents(const QString &fileName, const QVector<IdentityEvent> &events)
{
    const int chosen = table->currentRow();
    const QSignalBlocker quiet(table);
    table->setRowCount(int(events.size()));
    for (int r = 0; r < events.size(); ++r) {
        const IdentityEvent &e = events[r];
        QStringList fish;
        for (int k : e.fish)
            fish << QString::number(k);
        const QStringList cells = { QString::number(e.frame), QString::number(e.seconds, 'f', 3),
            fish.join(QLatin1String(", ")), e.kind };
        for (int c = 0; c < cells.size(); ++c) {
            auto *item = new QTableWidgetItem(cells[c]);
            if (c < 2)
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            table->setItem(r, c, item);
        }
    }
    summary->setText(events.isEmpty()
            ? tr("%1: no moment where identities may have changed.").arg(fileName)
            : tr("%1: %n moment(s) to check.", nullptr, int(events.size())).arg(fileName));
    if (chosen >= 0 && chosen < events.size())
        table->setCurrentCell(chosen, 0);
}

void ReviewPanel::clear(const QString &message)
{
    const QSignalBlocker quiet(table);
    table->setRowCount(0);
    summary->setText(message);
    swapButton->setEnabled(false);
}

int ReviewPanel::chosenEvent() const
{
    return table->currentRow();
}

void ReviewPanel::chooseEvent(int index)
{
    table->setCurrentCell(index, 0);
}

void ReviewPanel::setSwapEnabled(bool enabled)
{
    swapButton->setEnabled(enabled);
}
