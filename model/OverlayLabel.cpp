#include "model/OverlayLabel.h"

QString OverlayLabel::fromUserText(const QString &text)
{
    QString label = text;
    for (QChar &c : label)
        if (c.isSpace())
            c = QLatin1Char('_');
    return label;
}

QString OverlayLabel::problem(const QString &label)
{
    if (label.isEmpty())
        return QStringLiteral("an empty label");
    for (const char *word : { "Seconds", "Time", "Detection:", "NumFish:" })
        if (label == QLatin1String(word))
            return QStringLiteral("the label \"%1\" is a word of the data file's own").arg(label);
    return QString();
}
