// Each pondwatch-cli command's option parsing, run to its end: the input's first byte picks
// the command, the rest is its arguments, one per line. The commands run in a folder of their
// own that holds a tiny video ("v.avi", 16x16, four frames), a single-fish data file of it
// ("d.data"), a GFA event file ("g.gfa") and two GFAdata files ("l.gfadata", "r.gfadata"),
// restored before every input so that each input runs alike. Arguments holding a '/' are not
// run: every file a command writes stays in that folder.

#include "FuzzSupport.h"

#include "cli/Commands.h"
#include "video/QVideoEncoder.h"

#include <QDir>
#include <QFile>
#include <QMap>

#include <functional>

namespace {

QMap<QString, QByteArray> fixtures; // file name -> contents
QString runDir;

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void restoreFixtures()
{
    QDir dir(runDir);
    for (const QString &name : dir.entryList(QDir::Files | QDir::Hidden))
        if (!fixtures.contains(name))
            dir.remove(name);
    for (auto it = fixtures.cbegin(); it != fixtures.cend(); ++it) {
        QFile file(dir.filePath(it.key()));
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            file.write(it.value());
    }
}

void makeFixtures()
{
    runDir = QDir(fuzzsupport::scratchDir()).filePath(QStringLiteral("run"));
    QDir().mkpath(runDir);
    const QString previous = QDir::currentPath();
    QDir::setCurrent(runDir);
    {
        QVideoEncoder encoder;
        encoder.OpenOutput(QStringLiteral("v.avi"), 16, 16, 200000, 2);
        for (int i = 0; i < 4; ++i) {
            QImage frame(16, 16, QImage::Format_RGB32);
            frame.fill(QColor(200, 200, 200));
            frame.setPixel(3 + 2 * i, 5 + i, qRgb(0, 0, 0));
            encoder.EncodeImage(frame);
        }
        encoder.Close();
    }
    runTrack({ "v.avi", "--area", "0,0,15,15", "--zone", "a=0,0,7,15", "--zone", "b=8,0,15,15",
        "--ruler", "r=0,0,15,0,10", "--pointdist", "p=8,8,12,8,5", "--average", "1", "--filter",
        "1", "--difference", "dark", "--quiet", "--output", "d.data" });
    QFile gfa(QStringLiteral("g.gfa"));
    if (gfa.open(QIODevice::WriteOnly))
        gfa.write("header 1\nheader 2\nheader 3\nheader 4\nA,1,x\nB,2\nC,1\n");
    gfa.close();
    runGfaEvents({ "d.data", "g.gfa", "--output", "l.gfadata" });
    runGfaEvents({ "d.data", "g.gfa", "--output", "r.gfadata", "--offset", "1" });
    for (const char *name : { "v.avi", "d.data", "g.gfa", "l.gfadata", "r.gfadata" })
        fixtures.insert(QString::fromLatin1(name), readAll(QString::fromLatin1(name)));
    QDir::setCurrent(previous);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzzsupport::initialise();
    makeFixtures();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1 || size > 2000)
        return 0;
    const QByteArray input = fuzzsupport::bytes(data, size);
    QStringList args = QString::fromUtf8(input.mid(1)).split(QLatin1Char('\n'));
    if (args.size() > 32)
        return 0;
    for (const QString &arg : args)
        if (arg.contains(QLatin1Char('/')))
            return 0;
    if (args.size() == 1 && args.first().isEmpty())
        args.clear();
    static const std::function<int(const QStringList &)> commands[] = { runTrack, runAnalyze,
        runExport, runGfaEvents, runGfaBlend, runTrajectories, runMeasures };
    restoreFixtures();
    // The fuzzer's own paths (corpus, crashers) are relative to where it was started.
    const QString previous = QDir::currentPath();
    QDir::setCurrent(runDir);
    commands[uint8_t(input[0]) % 7](args);
    QDir::setCurrent(previous);
    return 0;
}
