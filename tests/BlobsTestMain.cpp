// The whole-video background tests: its parts in memory, runs on videos, then its controls in
// the window.

#include <QApplication>

int runBlobsPartsTest(int argc, char **argv);
int runIdentitiesTest(int argc, char **argv);
int runBlobsVideoTest(int argc, char **argv);
int runDetectionWindowTest(int argc, char **argv);

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    int failures = 0;
    failures += runBlobsPartsTest(argc, argv);
    failures += runIdentitiesTest(argc, argv);
    failures += runBlobsVideoTest(argc, argv);
    failures += runDetectionWindowTest(argc, argv);
    return failures;
}
