#pragma once
// The AVX2 kernels: null where the processor or the build has no AVX2.

#include "tracking/kernels/RowKernels.h"

const RowKernels *avx2Kernels();
