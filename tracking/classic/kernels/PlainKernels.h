#pragma once
// The plain kernels by name, for the fast ones to finish a row's tail with and to share the
// per-pixel steps they do not vectorise.

#include "tracking/classic/kernels/RowKernels.h"

namespace plainkernels {

void greyFromRgb(const uchar *rgb, float *grey, int n);
void greyFromXrgb(const QRgb *pixels, float *grey, int n);
float differenceValue(float d, DifferenceRule rule);
void updateBackground(const float *grey, float *background, float *difference, int n, float alpha,
    float beta, DifferenceRule rule);
void updateBackgroundFromRgb(const uchar *rgb, float *background, float *difference, int n,
    float alpha, float beta, DifferenceRule rule);
void applyDifferenceRule(float *difference, int n, DifferenceRule rule);
void summedRows(float *table, int w, int yBegin, int yEnd);
float boxMeanRow(
    const float *bottom, const float *top, float *out, int half, int w, float windowArea);
float highestBoxSum(const float *bottom, const float *top, int half, int w);
float highestScore(const float *mean, const float *weight, int begin, int end);
float highestValue(const float *values, int begin, int end);
bool isLocalMaximum(const float *mid, int w, float threshold);
int localMaxima(const float *row, int w, int xBegin, int xEnd, float threshold, int *columns);

} // namespace plainkernels
