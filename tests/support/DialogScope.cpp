#include "support/DialogScope.h"

#include <QTest>

DialogScope::~DialogScope()
{
    const QString problems = unexpectedSummary();
    if (!problems.isEmpty())
        QTest::qFail(
            qPrintable("unexpected dialogs or messages:\n" + problems), __FILE__, __LINE__);
}
