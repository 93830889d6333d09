#include "tracking/classic/kernels/RowKernels.h"

#include "tracking/classic/kernels/Avx2Kernels.h"
#include "tracking/classic/kernels/Avx512Kernels.h"

#include <QByteArray>
#include <QtGlobal>

#include <atomic>

namespace {

// The table active() gives; null until first asked for. Any thread may ask (the window's and
// the command line's trackers, tests); select() is meant for tests, between runs.
std::atomic<const RowKernels *> chosen { nullptr };

const RowKernels &fastest()
{
    if (const RowKernels *avx512 = avx512Kernels())
        return *avx512;
    if (const RowKernels *avx2 = avx2Kernels())
        return *avx2;
    return RowKernels::plain();
}

} // namespace

const RowKernels &RowKernels::active()
{
    const RowKernels *k = chosen.load(std::memory_order_acquire);
    if (!k) {
        const bool plainAsked = qgetenv("PONDWATCH_KERNELS") == "plain";
        const RowKernels *first = plainAsked ? &plain() : &fastest();
        // Another thread may have chosen meanwhile: its choice stays.
        chosen.compare_exchange_strong(k, first, std::memory_order_acq_rel);
        k = chosen.load(std::memory_order_acquire);
    }
    return *k;
}

std::vector<const RowKernels *> RowKernels::available()
{
    std::vector<const RowKernels *> tables { &plain() };
    if (const RowKernels *avx2 = avx2Kernels())
        tables.push_back(avx2);
    if (const RowKernels *avx512 = avx512Kernels())
        tables.push_back(avx512);
    return tables;
}

void RowKernels::select(const RowKernels &kernels)
{
    chosen.store(&kernels, std::memory_order_release);
}
