#include "app/MainWindow.h"

#include <QApplication>
#include <QStringList>
#include <QTimer>

int main(int argc, char *argv[])
{
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
            const QString video = args.at(1);
            QTimer::singleShot(0, &window, [&window, video] { window.openVideo(video); });
        }
        code = app.exec();
    }
    return code;
}
