#pragma once
// Small helpers shared by the test programs.

#include <QString>

namespace testutils {

// A fresh, empty folder for this test program's files (under the build tree).
QString scratchDir();
// A path inside scratchDir().
QString scratchPath(const QString &name);

} // namespace testutils
