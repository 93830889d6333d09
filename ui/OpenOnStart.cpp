#include "ui/OpenOnStart.h"

#include <utility>

OpenOnStart::OpenOnStart(const QString &videoPath)
    : path(videoPath)
{
    previous = Dialogs::install(this);
}

OpenOnStart::~OpenOnStart()
{
    if (&Dialogs::current() == this)
        Dialogs::install(previous);
}

QString OpenOnStart::openFileName(
    QWidget *parent, const QString &caption, const QString &dir, const QString &filter)
{
    if (path.isEmpty())
        return previous ? previous->openFileName(parent, caption, dir, filter)
                        : QtDialogs::openFileName(parent, caption, dir, filter);
    return std::exchange(path, QString());
}
