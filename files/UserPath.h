#pragma once
// A path as a user gives it (on the command line, in a manifest, a setup file or a dialog),
// made safe from Qt's resource prefix: Qt reads a name that starts with ':' as a file built
// into the program, but ":x.mp4" is a legal file name in the current folder. Any thread.

#include <QString>

namespace UserPath {

// `path`, with "./" in front when it starts with ':'; any other path as it is.
QString local(const QString &path);

} // namespace UserPath
