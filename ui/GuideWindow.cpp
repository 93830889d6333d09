#include "ui/GuideWindow.h"

#include <QFile>
#include <QPointer>
#include <QScreen>

GuideWindow::GuideWindow(QWidget *parent)
    : QTextBrowser(parent)
{
    setObjectName(QStringLiteral("guideWindow"));
    setWindowFlag(Qt::Window);
    setWindowTitle(tr("Pondwatch User Guide"));
    setOpenExternalLinks(true);
    setMarkdown(text());
    const QRect free = screen() ? screen()->availableGeometry() : QRect(0, 0, 1366, 768);
    resize(std::min(900, free.width() - 40), std::min(900, free.height() - 60));
}

QString GuideWindow::text()
{
    QFile guide(QStringLiteral(":/guide/README.md"));
    if (!guide.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(guide.readAll());
}

GuideWindow *GuideWindow::show(QWidget *parent)
{
    GuideWindow *window = parent->findChild<GuideWindow *>(QString(), Qt::FindDirectChildrenOnly);
    if (!window)
        window = new GuideWindow(parent);
    window->QWidget::show();
    window->raise();
    window->activateWindow();
    return window;
}
