#pragma once

// Writing a row's results back into its records: the predictor's fluxes, time derivative and
// predicted state, or the corrector's predicted fluxes and new state. Blocks of four records are
// stored as transposed 4 x 4 blocks of slots, each block first asking for the lines of the block
// after it, so that the stores of the previous row can run between the decoding's divisions.
//
// On large meshes (RecordStores::kStreamed) the lines that a writer fills completely go to memory
// with streaming stores, which skip reading the line first. A record is 352 bytes, five and a
// half cache lines; the row starts on a line (kRecordRowAlignment) and the blocks start at the
// odd nodes 1, 5, 9, ..., so a block's even lanes hold records that start half-way into a line
// and its odd lanes records that start on one. The predictor fills slots 11 to 35: in a record
// starting half-way, the lines of slots 12-19, 20-27 and 28-35; in a record starting on a line,
// those of 16-23 and 24-31. The corrector fills slots 0 to 10 and 36 to 43: in a record starting
// half-way, the line of 36-43 (the line of the previous record's 40-43 and this one's 0-3 is
// filled too, but the corrector has just read it). Every other line is stored through the cache.

#include "Nembra/step/Vector.h"
#include "Nembra/step/WorkingRows.h"

namespace Nembra::step {

// How far ahead of its stores a row writer asks for the records' lines.
constexpr int kWriteLookahead = kBlockNodes;

static_assert(sizeof(Node) == 44 * sizeof(double), "a record is 5.5 cache lines of slots");
// The slot groups of the streamed lines, as offsets within a record that starts half-way into a
// line (a line then starts at record offset 32 + 64 k) or on one (64 k).
static_assert((32 + offsetof(Node, VProspect)) % 64 == 0 &&
                  offsetof(Node, QProspect) + 4 * sizeof(double) == offsetof(Node, FluxEProspect),
              "predictor: slots 12-35 of a record starting half-way are three whole lines");
static_assert(offsetof(Node, PProspect) % 64 == 0 && offsetof(Node, QProspect) % 64 == 0,
              "predictor: slots 16-31 of a record starting on a line are two whole lines");
static_assert((32 + offsetof(Node, FluxEProspect)) % 64 == 0,
              "corrector: slots 36-43 of a record starting half-way are one whole line");

// Nothing to do between the blocks of a row's decoding.
struct NoBlockWork {
    void operator()(int /*j*/) const {}
};

// The walk over a row that both phases' writers share. `Writer` supplies WriteFluxes(j), for
// every node, and WriteBlock<kStreamed>(j) and WriteNode(j), for the interior nodes of an
// interior row.
template <class Writer>
class RowWriter {
public:
    // An edge row: the fluxes only.
    void WriteEdgeRow() const {
        for (int j = 0; j < count_; ++j) {
            self().WriteFluxes(j);
        }
    }

    template <bool kStreamed>
    void WriteInteriorRow() const {
        const int blocksEnd = EndOfBlocks(1, count_ - 1);
        for (int j = 1; j < blocksEnd; j += kBlockNodes) {
            self().template WriteBlock<kStreamed>(j);
        }
        WriteRest(blocksEnd);
    }

    // What the blocks leave of an interior row: the edge nodes' fluxes and the interior nodes
    // from `from` on.
    void WriteRest(int from) const {
        self().WriteFluxes(0);
        self().WriteFluxes(count_ - 1);
        for (int j = from; j < count_ - 1; ++j) {
            self().WriteNode(j);
        }
    }

protected:
    RowWriter(Node* row, int count, const StepRows& w, int i)
        : row_(row),
          count_(count),
          e_(w.e[i % kFluxRows]),
          f_(w.f[i % kFluxRows]),
          d_(w.results[i % kResultRows]) {}

    Node* row_;
    int count_;
    FourRows e_;
    FourRows f_;
    RowResults d_;

private:
    const Writer& self() const { return static_cast<const Writer&>(*this); }
};

// The predictor's and the corrector's writers below look alike but stay two classes: they store
// different slots, and each block's slot offsets must be constants for its stores to compile to
// whole-vector moves. What they share, the walk over a row, is RowWriter.

// Writes a row's predictor results back into its records: the fluxes at every node and, on an
// interior row, the time derivative and the predicted state of the interior nodes.
class PredictorRowWriter : public RowWriter<PredictorRowWriter> {
public:
    PredictorRowWriter(Node* row, int count, const StepRows& w, int i)
        : RowWriter(row, count, w, i), dudt_(d_.dudt), qp_(d_.updated) {}

    // Interior nodes j .. j+3 of an interior row, the whole lines streamed or not. The slots
    // from 12 on go in groups of four, half a line each: VProspect EintProspect TProspect
    // RhoProspect, PProspect EtProspect MuProspect KProspect, and the four vectors.
    template <bool kStreamed>
    NEMBRA_ALWAYS_INLINE void WriteBlock(int j) const {
#ifdef NEMBRA_NODE_BLOCKS
        Node* nodes = row_ + j;
        if (j + kWriteLookahead + kBlockNodes <= count_) {
            const Node* next = nodes + kWriteLookahead;
            if constexpr (kStreamed) {
                // The lines stored through the cache: slot 11's in every record, and slots
                // 32-35's in the records that start on a line.
                PrefetchForWriting(next, kBlockNodes, offsetof(Node, UProspect),
                                   offsetof(Node, VProspect));
                PrefetchForWriting(next + 1, 1, offsetof(Node, QProspect),
                                   offsetof(Node, FluxEProspect));
                PrefetchForWriting(next + 3, 1, offsetof(Node, QProspect),
                                   offsetof(Node, FluxEProspect));
            } else {
                PrefetchForWriting(next, kBlockNodes, offsetof(Node, UProspect),
                                   offsetof(Node, FluxEProspect));
            }
        }
        StoreBlockStreaming<kStreamed, false>(nodes, offsetof(Node, VProspect),
                                              {{ LoadRow(d_.v, j),
                                                 LoadRow(d_.eint, j),
                                                 LoadRow(d_.t, j),
                                                 LoadRow(qp_.r0, j) }});
        StoreBlockStreaming<kStreamed, kStreamed>(nodes, offsetof(Node, PProspect),
                                                  {{ LoadRow(d_.p, j),
                                                     LoadRow(qp_.r3, j),
                                                     LoadRow(d_.mu, j),
                                                     LoadRow(d_.k, j) }});
        StoreBlockStreaming<kStreamed, kStreamed>(nodes, offsetof(Node, FluxE), RowsAt(e_, j));
        StoreBlockStreaming<kStreamed, kStreamed>(nodes, offsetof(Node, FluxF), RowsAt(f_, j));
        StoreBlockStreaming<kStreamed, kStreamed>(nodes, offsetof(Node, DUDt), RowsAt(dudt_, j));
        StoreBlockStreaming<kStreamed, false>(nodes, offsetof(Node, QProspect), RowsAt(qp_, j));
        for (int k = 0; k < kBlockNodes; ++k) {
            nodes[k].UProspect = d_.u[j + k];
        }
#else
        for (int k = j; k < j + kBlockNodes; ++k) {
            WriteNode(k);
        }
#endif
    }

    void WriteFluxes(int j) const {
        e_.CopyTo(row_[j].FluxE, j);
        f_.CopyTo(row_[j].FluxF, j);
    }

    void WriteNode(int j) const {
        Node& n = row_[j];
        WriteFluxes(j);
        dudt_.CopyTo(n.DUDt, j);
        qp_.CopyTo(n.QProspect, j);
        n.RhoProspect = qp_.r0[j];
        n.UProspect = d_.u[j];
        n.VProspect = d_.v[j];
        n.EtProspect = qp_.r3[j];
        n.EintProspect = d_.eint[j];
        n.TProspect = d_.t[j];
        n.PProspect = d_.p[j];
        n.MuProspect = d_.mu[j];
        n.KProspect = d_.k[j];
    }

private:
    FourRows dudt_;
    FourRows qp_;
};

// Writes a row's corrector results back into its records: the predicted fluxes at every node
// and, on an interior row, the new state of the interior nodes.
class CorrectorRowWriter : public RowWriter<CorrectorRowWriter> {
public:
    CorrectorRowWriter(Node* row, int count, const StepRows& w, int i)
        : RowWriter(row, count, w, i), q_(d_.updated) {}

    // Interior nodes j .. j+3 of an interior row, the whole lines streamed or not.
    template <bool kStreamed>
    NEMBRA_ALWAYS_INLINE void WriteBlock(int j) const {
#ifdef NEMBRA_NODE_BLOCKS
        Node* nodes = row_ + j;
        if (j + kWriteLookahead + kBlockNodes <= count_) {
            const Node* next = nodes + kWriteLookahead;
            PrefetchForWriting(next, kBlockNodes, offsetof(Node, Rho), offsetof(Node, UProspect));
            if constexpr (kStreamed) {
                // Slots 36-43 of the records that start half-way into a line are streamed.
                PrefetchForWriting(next + 1, 1, offsetof(Node, FluxEProspect), sizeof(Node));
                PrefetchForWriting(next + 3, 1, offsetof(Node, FluxEProspect), sizeof(Node));
            } else {
                PrefetchForWriting(next, kBlockNodes, offsetof(Node, FluxEProspect), sizeof(Node));
            }
        }
        StoreBlockStreaming<kStreamed, false>(nodes, offsetof(Node, FluxEProspect), RowsAt(e_, j));
        StoreBlockStreaming<kStreamed, false>(nodes, offsetof(Node, FluxFProspect), RowsAt(f_, j));
        StoreBlock(nodes, offsetof(Node, Rho), RowsAt(q_, j));
        StoreBlock(nodes, offsetof(Node, U),
                   {{ LoadRow(d_.u, j),
                      LoadRow(d_.v, j),
                      LoadRow(d_.eint, j),
                      LoadRow(d_.t, j) }});
        for (int k = 0; k < kBlockNodes; ++k) {
            nodes[k].P = d_.p[j + k];
            nodes[k].Mu = d_.mu[j + k];
            nodes[k].K = d_.k[j + k];
        }
#else
        for (int k = j; k < j + kBlockNodes; ++k) {
            WriteNode(k);
        }
#endif
    }

    void WriteFluxes(int j) const {
        e_.CopyTo(row_[j].FluxEProspect, j);
        f_.CopyTo(row_[j].FluxFProspect, j);
    }

    void WriteNode(int j) const {
        Node& n = row_[j];
        WriteFluxes(j);
        n.Rho = q_.r0[j];
        n.RhoU = q_.r1[j];
        n.RhoV = q_.r2[j];
        n.U = d_.u[j];
        n.V = d_.v[j];
        n.Et = q_.r3[j];
        n.Eint = d_.eint[j];
        n.T = d_.t[j];
        n.P = d_.p[j];
        n.Mu = d_.mu[j];
        n.K = d_.k[j];
    }

private:
    FourRows q_;
};

}  // namespace Nembra::step
