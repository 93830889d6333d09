#pragma once
// The per-pixel reads of a control flag (the difference mode, "Show Tracker View"), made
// before a pass instead of inside it, so that the pass can walk its planes in memory order.
// The flags are read in the pass's pixel order, once for each block of pixels: the reads of
// a block's pixels are one read, as if they all came at the same moment, an outcome that
// reading once per pixel can give (nothing orders a pixel's read after the one before it).
// What is returned is the first block in which the read differed from the value the pass
// started with. The pass then reads the flags anew from that block on, at each pixel's turn;
// reading a block again is as if those reads had come a moment later.

namespace flagreads {

constexpr int block = 1024;

// Index of the first block (of begin ... count - 1, blocks of `block` pixels from begin) in
// whose read differs() was nonzero, or -1. differs() makes the reads for one pixel and returns
// nonzero when they differ from the pass's first.
template<typename Differs> int firstDifferingBlock(int begin, int count, Differs differs)
{
    for (int k = begin; k < count; k += block)
        if (differs())
            return k;
    return -1;
}

} // namespace flagreads
