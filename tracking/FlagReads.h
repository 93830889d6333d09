#pragma once
// The per-pixel reads of a control flag (the difference mode, "Show Tracker View"), made
// before a pass instead of inside it, so that the pass can walk its planes in memory order.
// The flags are read once per pixel, in the pass's pixel order, a block of pixels at a time;
// what is returned is the first block in which a read differed from the value the pass
// started with. The pass then reads the flags anew from that block on, at each pixel's turn;
// reading a block again is as if those reads had come a moment later, an outcome that
// reading once per pixel inside the pass can give.

namespace flagreads {

constexpr int block = 32;

// Index of the first block (of begin ... count - 1) in which differs() was nonzero, or -1.
// differs() makes the reads for one pixel and returns nonzero when they differ.
template<typename Differs> int firstDifferingBlock(int begin, int count, Differs differs)
{
    int k = begin;
    for (; k + block <= count; k += block) {
        unsigned any = 0;
#pragma GCC unroll 32
        for (int j = 0; j < block; ++j)
            any |= differs();
        if (any)
            return k;
    }
    unsigned any = 0;
    for (int j = k; j < count; ++j)
        any |= differs();
    return any ? k : -1;
}

} // namespace flagreads
