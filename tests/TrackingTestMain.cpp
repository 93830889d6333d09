// The tracking tests: the engine on pictures in memory, then runs on video files and the
// command line.

#include <QApplication>

int runTrackingEngineTest(int argc, char **argv);

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    int failures = 0;
    failures += runTrackingEngineTest(argc, argv);
    return failures;
}
