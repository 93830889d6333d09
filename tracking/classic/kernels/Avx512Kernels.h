#pragma once
// The AVX-512 kernels: the AVX2 table with the passes over every pixel done sixteen pixels a
// register; null where the processor or the build has no AVX-512 with byte permutes.

#include "tracking/classic/kernels/RowKernels.h"

const RowKernels *avx512Kernels();
