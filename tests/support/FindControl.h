#pragma once
// Finds a window's control by its objectName ("processVideoButton", "fishCountSpin", ...), so
// tests do not depend on texts or on positions in a layout. A missing control ends the test
// program with the name it looked for.

#include <QObject>
#include <QString>
#include <QtGlobal>

template<typename T> T *findControl(const QObject &parent, const QString &name)
{
    T *control = parent.findChild<T *>(name);
    if (!control)
        qFatal("no control named \"%s\" of the expected type under %s", qPrintable(name),
            parent.metaObject()->className());
    return control;
}
