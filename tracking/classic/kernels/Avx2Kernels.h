#pragma once
// The AVX2 kernels: null where the processor or the build has no AVX2.

#include "tracking/classic/kernels/RowKernels.h"

const RowKernels *avx2Kernels();

// Marks the upper halves of the vector registers unused (vzeroupper) where the processor has
// AVX; elsewhere nothing. Code compiled for SSE, as most of the program is, runs slowly while
// they are in use, which a library's AVX code may leave them (Qt's image fill does).
void clearUpperVectorHalves();
