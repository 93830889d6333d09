#include "app/MainWindow.h"
#include "ui/OpenOnStart.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>
#include <optional>

int main(int argc, char *argv[])
{
    // Answered before the application starts, so that they need no display.
    for (int i = 1; i < argc; ++i) {
        if (qstrcmp(argv[i], "--version") == 0) {
            std::printf("pondwatch %s\n", POND_VERSION);
            return 0;
        }
        if (qstrcmp(argv[i], "--help") == 0 || qstrcmp(argv[i], "-h") == 0) {
            std::printf("usage: pondwatch [VIDEO]\n"
                        "Opens the tracking window, and VIDEO in it when given.\n"
                        "pondwatch-cli tracks, analyzes and plots without a window.\n");
            return 0;
        }
    }
    QApplication app(argc, argv);
    QCoreApplication::setApplicationVersion(QStringLiteral(POND_VERSION));
    const QStringList args = app.arguments().mid(1);
    int code = 0;
    {
        MainWindow window;
        window.show();
        // A video named on the command line opens as if picked in "Open Video File...".
        std::optional<OpenOnStart> opener;
        if (!args.isEmpty()) {
            opener.emplace(args.first());
            QTimer::singleShot(0, &window, &MainWindow::LoadVideoFile);
        }
        code = app.exec();
    }
    return code;
}
