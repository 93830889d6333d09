#pragma once
// Mends an identity swap in a multi-fish data file: every column of fish A trades places with
// the same column of fish B in each row from a frame on. The header and the earlier rows stay
// as they were, and every byte but the fields traded, so that swapping the same fish from the
// same frame again gives the file back byte for byte. GUI-free; any thread.

#include <QByteArray>
#include <QString>

class DataFileRows;

namespace IdentitySwap {

// The text of `rows` with fish a and b (1-based) swapped from frame `fromFrame` on. False with
// a one-line reason when a fish is not in the file or a and b are the same fish.
bool swap(
    const DataFileRows &rows, int a, int b, qint64 fromFrame, QByteArray *out, QString *error);

} // namespace IdentitySwap
