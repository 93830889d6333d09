// The tracking tests: the row kernels, the engine on pictures in memory (background model,
// detectors, data file, whole runs), then runs on video files and the command line.

#include <QApplication>

int runTrackingKernelsTest(int argc, char **argv);
int runTrackingBackgroundModelTest(int argc, char **argv);
int runTrackingDetectorsTest(int argc, char **argv);
int runTrackingDataFileTest(int argc, char **argv);
int runTrackingRunTest(int argc, char **argv);
int runTrackingVideoTest(int argc, char **argv);

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    int failures = 0;
    failures += runTrackingKernelsTest(argc, argv);
    failures += runTrackingBackgroundModelTest(argc, argv);
    failures += runTrackingDetectorsTest(argc, argv);
    failures += runTrackingDataFileTest(argc, argv);
    failures += runTrackingRunTest(argc, argv);
    failures += runTrackingVideoTest(argc, argv);
    return failures;
}
