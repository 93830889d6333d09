#pragma once
// A video named on the command line ("Open with Pondwatch" in a file manager): answers the
// next "Open Video File..." with that path, as if the user had picked it in the file dialog,
// then leaves the file dialog to the ones installed before. Main thread only.

#include "ui/Dialogs.h"

class OpenOnStart : public QtDialogs
{
public:
    explicit OpenOnStart(const QString &videoPath);
    ~OpenOnStart() override;

    QString openFileName(QWidget *parent, const QString &caption, const QString &dir,
        const QString &filter) override;

private:
    QString path;
    Dialogs *previous = nullptr;
};
