#include "analysis/PictureFile.h"

#include "files/AtomicFile.h"

#include <QFileInfo>
#include <QImage>
#include <QPainter>
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

    const bool svgWanted = QFileInfo(path).suffix().toLower() == QLatin1String("svg");
    bool encoded = true;
    QString reason;
    const AtomicFile::Outcome outcome = AtomicFile::write(
        path,
        [&](QIODevice &device) {
            if (svgWanted) {
                QSvgGenerator svg;
                svg.setOutputDevice(&device);
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
                encoded = image.save(&device, "PNG");
            }
        },
        &reason);
    if (outcome != AtomicFile::Outcome::Written)
        return fail(reason);
    if (!encoded)
        return fail(QStringLiteral("the PNG could not be encoded"));
    return true;
}
