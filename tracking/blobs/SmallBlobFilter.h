#pragma once
// Specks are not animals: while an arena shows more blobs than it holds animals, its
// smallest blob is dropped if it is under half a body (the area learned from the animals
// seen in the sampled frames). A lone small blob stays: it may be an animal half hidden.
// Runs on the blob list before the matcher. Tracker thread.

#include "tracking/blobs/Blob.h"

#include <vector>

namespace SmallBlobFilter {

// Drops specks from `blobs` (kept in order); returns how many.
int drop(std::vector<Blob> &blobs, int animals, double typicalArea);

} // namespace SmallBlobFilter
