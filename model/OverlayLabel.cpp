#include "model/OverlayLabel.h"

QString OverlayLabel::fromUserText(const QString &text)
{
    QString label = text;
    for (QChar &c : label)
        if (c.isSpace())
            c = QLatin1Char('_');
    return label;
}
