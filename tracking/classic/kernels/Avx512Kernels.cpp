// The kernels with AVX-512, sixteen pixels a register, for the passes that run over every
// pixel of every frame: the background update from packed RGB, grey levels, and the rows'
// highest window sums. The rest of the table is the AVX2 one. Row tails go through masked
// loads and stores, which never touch memory outside the mask. Every lane does the plain
// kernel's arithmetic in the same order, one rounding per step, so the bits are the same.
// Offered only on processors with AVX-512 byte permutes (VBMI: Ice Lake and later, Zen 4),
// where wide vectors do not slow the clock much.

#include "tracking/classic/kernels/Avx512Kernels.h"

#include "tracking/classic/kernels/Avx2Kernels.h"

#if defined(__x86_64__)

#include <immintrin.h>

#include <cfloat>
#include <cstdint>

// GCC 12's AVX-512 headers fill the unused inputs of their masked builtins with deliberately
// uninitialised vectors, and its warnings then blame the caller (GCC bug 105593).
#if defined(__GNUC__) && !defined(__clang__) && __GNUC__ < 13
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

#define POND_AVX512 __attribute__((target("avx512f,avx512bw,avx512dq,avx512vl,avx512vbmi")))

namespace {

// Grey levels of sixteen packed RGB pixels whose bytes are in the low 48 of rgbBytes: each
// pixel's R, G, B into a 32-bit lane (its fourth byte zeroed), multiply-and-add of adjacent
// bytes and then of adjacent 16-bit sums gives 11 R + 16 G + 5 B exactly, shifted right by 5.
POND_AVX512 inline __m512 greyOfSixteen(__m512i rgbBytes)
{
    alignas(64) static constexpr uint8_t pickIndex[64]
        = { 0, 1, 2, 0, 3, 4, 5, 0, 6, 7, 8, 0, 9, 10, 11, 0, 12, 13, 14, 0, 15, 16, 17, 0, 18, 19,
              20, 0, 21, 22, 23, 0, 24, 25, 26, 0, 27, 28, 29, 0, 30, 31, 32, 0, 33, 34, 35, 0, 36,
              37, 38, 0, 39, 40, 41, 0, 42, 43, 44, 0, 45, 46, 47, 0 };
    const __m512i pick = _mm512_load_si512(pickIndex);
    const __m512i weights = _mm512_set1_epi32(0x0005100b); // bytes 11, 16, 5, 0
    const __m512i lanes = _mm512_maskz_permutexvar_epi8(0x7777777777777777ull, pick, rgbBytes);
    const __m512i pairs = _mm512_maddubs_epi16(lanes, weights);
    const __m512i sums = _mm512_madd_epi16(pairs, _mm512_set1_epi16(1));
    return _mm512_cvtepi32_ps(_mm512_srli_epi32(sums, 5));
}

// The rule on sixteen values of d, as the AVX2 kernel applies it.
template<DifferenceRule rule> POND_AVX512 inline __m512 ruleOf(__m512 d)
{
    const __m512 signBit = _mm512_set1_ps(-0.0f);
    if constexpr (rule == DifferenceRule::Keep)
        return d;
    else if constexpr (rule == DifferenceRule::Unsigned)
        return _mm512_andnot_ps(signBit, d);
    else if constexpr (rule == DifferenceRule::Bright)
        return _mm512_max_ps(d, _mm512_setzero_ps());
    else
        return _mm512_max_ps(_mm512_xor_ps(d, signBit), _mm512_setzero_ps());
}

// The masks of the first `count` pixels (count at most 16): their floats, their RGB bytes.
inline __mmask16 pixelMask(int count)
{
    return __mmask16((1u << count) - 1u);
}
inline __mmask64 byteMask(int count)
{
    return (uint64_t(1) << (3 * count)) - 1u;
}

POND_AVX512 void greyFromRgb(const uchar *rgb, float *grey, int n)
{
    for (int x = 0; x < n; x += 16) {
        const int count = n - x < 16 ? n - x : 16;
        const __m512i bytes = _mm512_maskz_loadu_epi8(byteMask(count), rgb + 3 * x);
        _mm512_mask_storeu_ps(grey + x, pixelMask(count), greyOfSixteen(bytes));
    }
}

// background = beta * background, then alpha * grey + background; d = grey - background; the
// first `count` pixels only.
template<DifferenceRule rule>
POND_AVX512 inline void updateSixteen(
    const uchar *rgb, float *background, float *difference, int count, __m512 alpha, __m512 beta)
{
    const __mmask16 m = pixelMask(count);
    const __m512 grey = greyOfSixteen(_mm512_maskz_loadu_epi8(byteMask(count), rgb));
    __m512 bg = _mm512_mul_ps(beta, _mm512_maskz_loadu_ps(m, background));
    bg = _mm512_add_ps(_mm512_mul_ps(alpha, grey), bg);
    _mm512_mask_storeu_ps(background, m, bg);
    _mm512_mask_storeu_ps(difference, m, ruleOf<rule>(_mm512_sub_ps(grey, bg)));
}

template<DifferenceRule rule>
POND_AVX512 void updateFromRgb(
    const uchar *rgb, float *background, float *difference, int n, float alpha, float beta)
{
    const __m512 a = _mm512_set1_ps(alpha), b = _mm512_set1_ps(beta);
    int x = 0;
    for (; x + 16 <= n; x += 16)
        updateSixteen<rule>(rgb + 3 * x, background + x, difference + x, 16, a, b);
    if (x < n)
        updateSixteen<rule>(rgb + 3 * x, background + x, difference + x, n - x, a, b);
}

POND_AVX512 void updateBackgroundFromRgb(const uchar *rgb, float *background, float *difference,
    int n, float alpha, float beta, DifferenceRule rule)
{
    withRule(rule, [&](auto r) {
        updateFromRgb<decltype(r)::value>(rgb, background, difference, n, alpha, beta);
    });
}

// The window sums of the first `count` of columns x ... x + 15, in the plain kernel's order.
POND_AVX512 inline __m512 boxSums(
    const float *bottom, const float *top, int half, int x, __mmask16 m)
{
    __m512 sum = _mm512_sub_ps(_mm512_maskz_loadu_ps(m, bottom + x + half),
        _mm512_maskz_loadu_ps(m, bottom + x - half - 1));
    sum = _mm512_sub_ps(sum, _mm512_maskz_loadu_ps(m, top + x + half));
    return _mm512_add_ps(sum, _mm512_maskz_loadu_ps(m, top + x - half - 1));
}

// Two running maxima, so that the comparisons do not wait on each other; the maximum of
// values that are not NaN does not depend on the order they are compared in.
POND_AVX512 float highestBoxSum(const float *bottom, const float *top, int half, int w)
{
    const __mmask16 all = 0xffff;
    __m512 b0 = _mm512_set1_ps(-FLT_MAX), b1 = b0;
    const int last = w - half - 1;
    int x = half + 1;
    for (; x + 31 <= last; x += 32) {
        b0 = _mm512_max_ps(b0, boxSums(bottom, top, half, x, all));
        b1 = _mm512_max_ps(b1, boxSums(bottom, top, half, x + 16, all));
    }
    for (; x <= last; x += 16) {
        const __mmask16 m = last - x >= 15 ? all : pixelMask(last - x + 1);
        b0 = _mm512_mask_max_ps(b0, m, b0, boxSums(bottom, top, half, x, m));
    }
    return _mm512_reduce_max_ps(_mm512_max_ps(b0, b1));
}

bool processorHasAvx512()
{
    return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw")
        && __builtin_cpu_supports("avx512dq") && __builtin_cpu_supports("avx512vl")
        && __builtin_cpu_supports("avx512vbmi");
}

} // namespace

const RowKernels *avx512Kernels()
{
    static const RowKernels *const table = []() -> const RowKernels * {
        const RowKernels *avx2 = avx2Kernels();
        if (!avx2 || !processorHasAvx512())
            return nullptr;
        static RowKernels wide = *avx2;
        wide.name = "avx512";
        wide.greyFromRgb = greyFromRgb;
        wide.updateBackgroundFromRgb = updateBackgroundFromRgb;
        wide.highestBoxSum = highestBoxSum;
        return &wide;
    }();
    return table;
}

#else

const RowKernels *avx512Kernels()
{
    return nullptr;
}

#endif
