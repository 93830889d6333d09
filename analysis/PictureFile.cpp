#include "analysis/PictureFile.h"

#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QSaveFile>
#include <QSvgGenerator>

bool PictureFile::suffixSupported(const QString &path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    return suffix == QLatin1String("png") || suffix == QLatin1String("svg");
}

bool PictureFile::save(const QString &path, const QSize &size, const Draw &draw, QString *error)
{
    const auto fail = [&](const QString &why) {
        if (error)
            *error = QStringLiteral("Cannot write %1: %2").arg(path, why);
        return false;
    };
    if (!suffixSupported(path))
        return fail(QStringLiteral("the name must end in .png or .svg"));

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return fail(file.errorString());
    if (QFileInfo(path).suffix().toLower() == QLatin1String("svg")) {
        QSvgGenerator svg;
        svg.setOutputDevice(&file);
        svg.setSize(size);
        svg.setViewBox(QRect(QPoint(0, 0), size));
        svg.setTitle(QFileInfo(path).completeBaseName());
        QPainter painter(&svg);
        draw(painter);
    } else {
        QImage image(size, QImage::Format_RGB32);
        image.fill(Qt::white);
        {
            QPainter painter(&image);
            draw(painter);
        }
        if (!image.save(&file, "PNG"))
            return fail(QStringLiteral("the PNG could not be encoded"));
    }
    if (!file.commit())
        return fail(file.errorString());
    return true;
}
