#pragma once
// What every fuzz target shares: an offscreen application (drawing text needs one), quiet
// video libraries, and a scratch folder that the inputs are written to, since the readers
// under test take file names.

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <utility>

namespace fuzzsupport {

// Once, before the first input.
void initialise();
// The scratch folder of this process; removed when it ends.
QString scratchDir();
// Writes `bytes` to `name` in the scratch folder and returns its path.
QString writeFile(const QString &name, const QByteArray &bytes);
// The input as bytes (a deep copy: the fuzzer's buffer is only lent).
QByteArray bytes(const uint8_t *data, size_t size);
// The input split at its first NUL byte into two files' contents (the second is empty when
// there is none), for targets that read two files.
std::pair<QByteArray, QByteArray> splitAtNul(const QByteArray &input);

} // namespace fuzzsupport
