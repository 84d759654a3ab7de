#pragma once

// Writing a row's results back into its records: the predictor's fluxes, time derivative and
// predicted state, or the corrector's predicted fluxes and new state. Blocks of four records are
// stored as transposed 4 x 4 blocks of slots, each block first asking for the lines of the block
// after it, so that the stores of the previous row can run between the decoding's divisions.

#include "Nembra/step/Vector.h"
#include "Nembra/step/WorkingRows.h"

namespace Nembra::step {

// How far ahead of its stores a row writer asks for the records' lines.
constexpr int kWriteLookahead = kBlockNodes;

// Nothing to do between the blocks of a row's decoding.
struct NoBlockWork {
    void operator()(int /*j*/) const {}
};

// The walk over a row that both phases' writers share. `Writer` supplies WriteFluxes(j), for
// every node, and WriteBlock(j) and WriteNode(j), for the interior nodes of an interior row.
template <class Writer>
class RowWriter {
public:
    // An edge row: the fluxes only.
    void WriteEdgeRow() const {
        for (int j = 0; j < count_; ++j) {
            self().WriteFluxes(j);
        }
    }

    void WriteInteriorRow() const {
        const int blocksEnd = EndOfBlocks(1, count_ - 1);
        for (int j = 1; j < blocksEnd; j += kBlockNodes) {
            self().WriteBlock(j);
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

    // Interior nodes j .. j+3 of an interior row.
    NEMBRA_ALWAYS_INLINE void WriteBlock(int j) const {
#ifdef NEMBRA_NODE_BLOCKS
        Node* nodes = row_ + j;
        if (j + kWriteLookahead + kBlockNodes <= count_) {
            PrefetchForWriting(nodes + kWriteLookahead, kBlockNodes, offsetof(Node, UProspect),
                               offsetof(Node, FluxEProspect));
        }
        StoreBlock(nodes, offsetof(Node, FluxE), RowsAt(e_, j));
        StoreBlock(nodes, offsetof(Node, FluxF), RowsAt(f_, j));
        StoreBlock(nodes, offsetof(Node, DUDt), RowsAt(dudt_, j));
        StoreBlock(nodes, offsetof(Node, QProspect), RowsAt(qp_, j));
        StoreBlock(nodes, offsetof(Node, UProspect),
                   {{ LoadRow(d_.u, j),
                      LoadRow(d_.v, j),
                      LoadRow(d_.eint, j),
                      LoadRow(d_.t, j) }});
        StoreBlock(nodes, offsetof(Node, RhoProspect),
                   {{ LoadRow(qp_.r0, j),
                      LoadRow(d_.p, j),
                      LoadRow(qp_.r3, j),
                      LoadRow(d_.mu, j) }});
        for (int k = 0; k < kBlockNodes; ++k) {
            nodes[k].KProspect = d_.k[j + k];
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

    // Interior nodes j .. j+3 of an interior row.
    NEMBRA_ALWAYS_INLINE void WriteBlock(int j) const {
#ifdef NEMBRA_NODE_BLOCKS
        Node* nodes = row_ + j;
        if (j + kWriteLookahead + kBlockNodes <= count_) {
            PrefetchForWriting(nodes + kWriteLookahead, kBlockNodes, offsetof(Node, Rho),
                               offsetof(Node, UProspect));
            PrefetchForWriting(nodes + kWriteLookahead, kBlockNodes, offsetof(Node, FluxEProspect),
                               sizeof(Node));
        }
        StoreBlock(nodes, offsetof(Node, FluxEProspect), RowsAt(e_, j));
        StoreBlock(nodes, offsetof(Node, FluxFProspect), RowsAt(f_, j));
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
