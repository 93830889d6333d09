#include "tools/AnnotationRows.h"

#include <QFile>
#include <QTextStream>

QString AnnotationRows::message(Error error)
{
    switch (error) {
    case Error::None:
        break;
    case Error::Missing:
        return QStringLiteral("Can't load video file.");
    case Error::Unreadable:
        return QStringLiteral("Can't open video file.");
    }
    return QString();
}

AnnotationRows::Error AnnotationRows::read(const QString &path)
{
    times.clear();
    xs.clear();
    ys.clear();
    found.clear();

    if (!QFile::exists(path))
        return Error::Missing;
    QFile file(path);
    // Text mode turns CR LF into LF, so files written on Windows read the same.
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return Error::Unreadable;
    QTextStream in(&file);

    auto fields
        = [](const QString &line) { return line.split(QLatin1Char(' '), Qt::SkipEmptyParts); };

    bool inHeader = true;
    while (inHeader && !in.atEnd()) {
        const QStringList f = fields(in.readLine());
        inHeader = f.isEmpty() || f.first() != QLatin1String("Seconds");
    }

    while (!in.atEnd()) {
        const QStringList f = fields(in.readLine());
        // A row needs the time, the position and the found flag in column 5; anything
        // shorter (an empty last line, a line cut off) is passed over.
        if (f.size() < 6)
            continue;
        times << f[0].toFloat();
        xs << f[1].toFloat();
        ys << f[2].toFloat();
        found << (f[5].toInt() == 1);
    }
    return Error::None;
}
