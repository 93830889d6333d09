#pragma once
// Saves a picture drawn with QPainter as PNG or SVG, chosen by the file name's suffix, through
// AtomicFile so a failed write leaves an earlier file untouched. GUI-free; any thread.

#include <QSize>
#include <QString>

#include <functional>

class QPainter;

class PictureFile
{
public:
    using Draw = std::function<void(QPainter &)>;

    // False with a one-line reason naming the file in *error.
    static bool save(const QString &path, const QSize &size, const Draw &draw, QString *error);
    // Whether a name ends in .png or .svg (any case).
    static bool suffixSupported(const QString &path);
};
