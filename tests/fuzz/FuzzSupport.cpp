#include "FuzzSupport.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QLoggingCategory>
#include <QTemporaryDir>

extern "C" {
#include <libavutil/log.h>
}

#include <cstdlib>
#include <filesystem>
#include <string>

namespace fuzzsupport {

namespace {
// Both live until the process ends: Qt's own globals are gone by the time static objects
// would be destroyed, so the application is never deleted, and the folder is removed by an
// exit handler that needs no Qt.
QGuiApplication *application = nullptr;
std::string scratch;
int argc = 1;
char name[] = "fuzz";
char *argv[] = { name, nullptr };
} // namespace

void initialise()
{
    if (application)
        return;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        const QString runtime = QDir::temp().filePath(QStringLiteral("runtime-fuzz"));
        QDir().mkpath(runtime);
        QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("XDG_RUNTIME_DIR", runtime.toUtf8());
    }
    application = new QGuiApplication(argc, argv);
    // The readers' and the tracker's debug lines would drown the fuzzer's own.
    QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false\n*.warning=false"));
    av_log_set_level(AV_LOG_QUIET);
    QTemporaryDir dir;
    dir.setAutoRemove(false);
    scratch = dir.path().toStdString();
    std::atexit([] { std::filesystem::remove_all(scratch); });
}

QString scratchDir()
{
    return QString::fromStdString(scratch);
}

QString writeFile(const QString &name, const QByteArray &bytes)
{
    const QString path = QDir(scratchDir()).filePath(name);
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(bytes);
    return path;
}

QByteArray bytes(const uint8_t *data, size_t size)
{
    return QByteArray(reinterpret_cast<const char *>(data), qsizetype(size));
}

std::pair<QByteArray, QByteArray> splitAtNul(const QByteArray &input)
{
    const qsizetype nul = input.indexOf('\0');
    if (nul < 0)
        return { input, QByteArray() };
    return { input.left(nul), input.mid(nul + 1) };
}

} // namespace fuzzsupport
