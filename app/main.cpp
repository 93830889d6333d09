#include "app/MainWindow.h"
#include "files/UserPath.h"

#include <QApplication>
#include <QStringList>
#include <QTimer>

#include <cstdio>

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
    // Settings (parameters, window, recent videos) are kept under these names.
    QApplication::setOrganizationName(QStringLiteral("Marrowick"));
    QApplication::setApplicationName(QStringLiteral("Pondwatch"));
    QApplication::setApplicationVersion(QStringLiteral(POND_VERSION));
    int code = 0;
    {
        MainWindow window;
        window.show();
        // pondwatch VIDEO opens the video given, once the window is up.
        const QStringList args = QApplication::arguments();
        if (args.size() > 1) {
            // A name that starts with ':' is a file here, never one of the program's resources.
            const QString video = UserPath::local(args.at(1));
            QTimer::singleShot(0, &window, [&window, video] { window.openVideo(video); });
        }
        code = app.exec();
    }
    return code;
}
