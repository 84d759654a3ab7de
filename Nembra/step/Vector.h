#pragma once

// The step's vocabulary for moving values between node records and working rows: records are
// read and written four consecutive nodes at a time as 4 x 4 blocks of slots, transposed in
// registers, so that one vector store fills four nodes of a working row. Values are only moved,
// never computed, here: the results are the same bits as with the node-by-node copies that
// handle row tails (and everything on targets without 256-bit vectors).

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "Nembra/NavierStokesEquations2D.h"

#if (defined(__GNUC__) || defined(__clang__)) && defined(__AVX__)
#include <immintrin.h>
#endif

#if defined(__GNUC__) || defined(__clang__)
#define NEMBRA_ALWAYS_INLINE __attribute__((always_inline)) inline
#define NEMBRA_VECTOR_LOOP _Pragma("omp simd")
#else
#define NEMBRA_ALWAYS_INLINE inline
#define NEMBRA_VECTOR_LOOP
#endif

namespace Nembra::step {

using Node = NavierStokesEquations2D::_MeshNode;

constexpr int kBlockNodes = 4;
#if (defined(__GNUC__) || defined(__clang__)) && defined(__AVX__)
#define NEMBRA_NODE_BLOCKS 1
using Double4 = double __attribute__((vector_size(4 * sizeof(double))));
using Bits4 = std::int64_t __attribute__((vector_size(4 * sizeof(double))));
// The block helpers must melt into the loops that use them, their vectors kept in registers.
#define NEMBRA_BLOCK_HELPER __attribute__((always_inline)) inline

// Four slots, from `firstSlot` (a byte offset into the record) on, of four consecutive nodes:
// one vector per slot.
struct SlotBlock {
    Double4 slot[4];
};

NEMBRA_BLOCK_HELPER SlotBlock Transpose(const Double4 (&rows)[4]) {
    const Double4 t0 = __builtin_shufflevector(rows[0], rows[1], 0, 4, 2, 6);
    const Double4 t1 = __builtin_shufflevector(rows[0], rows[1], 1, 5, 3, 7);
    const Double4 t2 = __builtin_shufflevector(rows[2], rows[3], 0, 4, 2, 6);
    const Double4 t3 = __builtin_shufflevector(rows[2], rows[3], 1, 5, 3, 7);
    return {
        {__builtin_shufflevector(t0, t2, 0, 1, 4, 5), __builtin_shufflevector(t1, t3, 0, 1, 4, 5),
         __builtin_shufflevector(t0, t2, 2, 3, 6, 7), __builtin_shufflevector(t1, t3, 2, 3, 6, 7)}};
}

// Four slots of one record. The four records of a block are named one by one rather than in a
// loop, which the compiler would run through a buffer on the stack instead of registers.
NEMBRA_BLOCK_HELPER Double4 LoadSlots(const Node& node, std::size_t firstSlot) {
    Double4 slots;
    std::memcpy(&slots, reinterpret_cast<const unsigned char*>(&node) + firstSlot, sizeof slots);
    return slots;
}

NEMBRA_BLOCK_HELPER void StoreSlots(Node& node, std::size_t firstSlot, Double4 slots) {
    std::memcpy(reinterpret_cast<unsigned char*>(&node) + firstSlot, &slots, sizeof slots);
}

NEMBRA_BLOCK_HELPER SlotBlock LoadBlock(const Node* nodes, std::size_t firstSlot) {
    const Double4 rows[4] = {LoadSlots(nodes[0], firstSlot), LoadSlots(nodes[1], firstSlot),
                             LoadSlots(nodes[2], firstSlot), LoadSlots(nodes[3], firstSlot)};
    return Transpose(rows);
}

NEMBRA_BLOCK_HELPER void StoreBlock(Node* nodes, std::size_t firstSlot, const SlotBlock& block) {
    const SlotBlock rows = Transpose(block.slot);
    StoreSlots(nodes[0], firstSlot, rows.slot[0]);
    StoreSlots(nodes[1], firstSlot, rows.slot[1]);
    StoreSlots(nodes[2], firstSlot, rows.slot[2]);
    StoreSlots(nodes[3], firstSlot, rows.slot[3]);
}

// Four slots of one record straight to memory: a streaming store, which does not first read the
// line it writes. The slots must lie on a 32-byte boundary, and every byte of the line must be
// written by streaming stores close together, so that the processor sends the line whole.
NEMBRA_BLOCK_HELPER void StreamSlots(Node& node, std::size_t firstSlot, Double4 slots) {
    _mm256_stream_pd(reinterpret_cast<double*>(reinterpret_cast<unsigned char*>(&node) + firstSlot),
                     slots);
}

template <bool kStream>
NEMBRA_BLOCK_HELPER void PutSlots(Node& node, std::size_t firstSlot, Double4 slots) {
    if constexpr (kStream) {
        StreamSlots(node, firstSlot, slots);
    } else {
        StoreSlots(node, firstSlot, slots);
    }
}

// StoreBlock with streaming stores for the records in the block's even lanes (0 and 2) and/or
// odd lanes (1 and 3).
template <bool kStreamEvenLanes, bool kStreamOddLanes>
NEMBRA_BLOCK_HELPER void StoreBlockStreaming(Node* nodes, std::size_t firstSlot,
                                             const SlotBlock& block) {
    const SlotBlock rows = Transpose(block.slot);
    PutSlots<kStreamEvenLanes>(nodes[0], firstSlot, rows.slot[0]);
    PutSlots<kStreamOddLanes>(nodes[1], firstSlot, rows.slot[1]);
    PutSlots<kStreamEvenLanes>(nodes[2], firstSlot, rows.slot[2]);
    PutSlots<kStreamOddLanes>(nodes[3], firstSlot, rows.slot[3]);
}

// Streaming stores are ordered only among themselves: this orders them before every later store,
// so that a host handing the mesh to another thread hands it complete.
NEMBRA_BLOCK_HELPER void OrderStreamedStores() {
    _mm_sfence();
}

NEMBRA_BLOCK_HELPER Double4 LoadRow(const double* row, int j) {
    Double4 values;
    std::memcpy(&values, row + j, sizeof(Double4));
    return values;
}

NEMBRA_BLOCK_HELPER void StoreRow(double* row, int j, Double4 values) {
    std::memcpy(row + j, &values, sizeof(Double4));
}

// A block's four slots into four working rows, named one by one for the same reason as the
// records of LoadBlock.
NEMBRA_BLOCK_HELPER void StoreRows(double* const (&rows)[4], int j, const SlotBlock& block) {
    StoreRow(rows[0], j, block.slot[0]);
    StoreRow(rows[1], j, block.slot[1]);
    StoreRow(rows[2], j, block.slot[2]);
    StoreRow(rows[3], j, block.slot[3]);
}

// fabs of each element: the sign bit cleared.
NEMBRA_BLOCK_HELPER Double4 Abs(Double4 values) {
    Bits4 bits;
    std::memcpy(&bits, &values, sizeof bits);
    bits &= INT64_MAX;
    std::memcpy(&values, &bits, sizeof values);
    return values;
}

// The processor's square root of each element: correctly rounded like std::sqrt, four at a time
// and without std::sqrt's per-element test for arguments that would set errno.
NEMBRA_BLOCK_HELPER Double4 Sqrt(Double4 values) {
    return _mm256_sqrt_pd(values);
}

NEMBRA_BLOCK_HELPER Double4 Magnitude(Double4 values) {
    return Abs(values);
}

#endif

inline double Magnitude(double value) {
    return std::fabs(value);
}

// The first node after the whole blocks of four that fit in begin .. end-1.
inline int EndOfBlocks(int begin, int end) {
    return end <= begin ? begin : begin + (end - begin) / kBlockNodes * kBlockNodes;
}

// Four working rows held in locals: the stores into the records cannot then be taken to change
// where the rows are, and the compiler keeps the addresses in registers.
struct FourRows {
    const double* r0;
    const double* r1;
    const double* r2;
    const double* r3;
    explicit FourRows(double* const* rows) : r0(rows[0]), r1(rows[1]), r2(rows[2]), r3(rows[3]) {}
    void CopyTo(double* out, int j) const {
        out[0] = r0[j];
        out[1] = r1[j];
        out[2] = r2[j];
        out[3] = r3[j];
    }
};

#ifdef NEMBRA_NODE_BLOCKS
NEMBRA_BLOCK_HELPER SlotBlock RowsAt(const FourRows& rows, int j) {
    return {{LoadRow(rows.r0, j), LoadRow(rows.r1, j), LoadRow(rows.r2, j), LoadRow(rows.r3, j)}};
}
#endif

// Asks for the cache lines that hold bytes [firstByte, endByte) of `count` records, to be read
// (kForWriting 0) or written (1). Inlined: a function of prefetches alone looks free of effects
// to the compiler, which drops its calls.
template <int kForWriting>
NEMBRA_ALWAYS_INLINE void PrefetchRecords(const Node* nodes, int count, std::size_t firstByte,
                                          std::size_t endByte) {
#if defined(__GNUC__) || defined(__clang__)
    constexpr std::size_t kLine = 64;
    for (int k = 0; k < count; ++k) {
        const char* record = reinterpret_cast<const char*>(nodes + k);
        for (std::size_t offset = firstByte; offset < endByte; offset += kLine) {
            __builtin_prefetch(record + offset, kForWriting, 3);
        }
        __builtin_prefetch(record + endByte - 1, kForWriting, 3);
    }
#else
    static_cast<void>(nodes);
    static_cast<void>(count);
    static_cast<void>(firstByte);
    static_cast<void>(endByte);
#endif
}

// Lines about to be read: the time-step scan's, ahead of its loads.
NEMBRA_ALWAYS_INLINE void PrefetchForReading(const Node* nodes, int count, std::size_t endByte) {
    PrefetchRecords<0>(nodes, count, 0, endByte);
}

// Lines about to be written: the records were last read a few rows before, their lines have
// left the first-level cache, and a store that waits for its line holds up the stores behind it.
NEMBRA_ALWAYS_INLINE void PrefetchForWriting(const Node* nodes, int count, std::size_t firstByte,
                                             std::size_t endByte) {
    PrefetchRecords<1>(nodes, count, firstByte, endByte);
}

}  // namespace Nembra::step
