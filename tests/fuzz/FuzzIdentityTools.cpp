// A multi-fish data file as the identity tools read it: its rows and columns by name, the
// events of identity found in them and their CSV, and a swap of two fish from a frame, which
// done twice must give the text back byte for byte.

#include "FuzzSupport.h"

#include "formats/DataFileRows.h"
#include "formats/IdentityEvents.h"
#include "formats/IdentitySwap.h"

#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzzsupport::initialise();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray text = fuzzsupport::bytes(data, size);
    DataFileRows rows;
    QString error;
    if (!rows.parse(text, &error))
        return 0;
    IdentityEvents::csv(IdentityEvents::find(rows));
    // A row's frame (its Frame field, or counted from the first row's time) finds that row.
    for (int r = 0; r < rows.rowCount(); ++r)
        if (rows.rowAtFrame(rows.frame(r)) > r)
            std::abort();
    const int a = 1 + int(size % 3), b = 1 + int((size / 3) % 3);
    const qint64 from = qint64(size % 11) - 2;
    QByteArray once;
    if (!IdentitySwap::swap(rows, a, b, from, &once, &error))
        return 0;
    DataFileRows again;
    QByteArray twice;
    // The swapped text is a data file as well; swapped back, it is the text read.
    if (!again.parse(once, &error) || !IdentitySwap::swap(again, a, b, from, &twice, &error)
        || twice != text)
        std::abort();
    return 0;
}
