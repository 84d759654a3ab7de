#include "Nembra/step/Gather.h"

#include <cmath>

namespace Nembra::step {
namespace {

// The node-by-node gathers of row tails. The current and the predicted gather stay two functions:
// they read different slots, and a shared one parameterised by slot offsets would cost the block
// loops their constant offsets.
void GatherCurrentNode(const Node& n, const GatheredRow& r, int j) {
    r.u[j] = n.U;
    r.v[j] = n.V;
    r.t[j] = n.T;
    r.rho[j] = std::fabs(n.Rho);
    r.p[j] = std::fabs(n.P);
    r.et[j] = std::fabs(n.Et);
    r.mu[j] = n.Mu;
    r.k[j] = n.K;
    r.q[0][j] = n.Rho;
    r.q[1][j] = n.RhoU;
    r.q[2][j] = n.RhoV;
    r.q[3][j] = n.Et;
}

void GatherPredictedNode(const Node& n, const GatheredRow& r, int j) {
    r.u[j] = n.UProspect;
    r.v[j] = n.VProspect;
    r.t[j] = n.TProspect;
    r.rho[j] = std::fabs(n.QProspect[0]);
    r.p[j] = std::fabs(n.PProspect);
    r.et[j] = std::fabs(n.EtProspect);
    r.mu[j] = n.MuProspect;
    r.k[j] = n.KProspect;
    r.q[0][j] = n.Rho;
    r.q[1][j] = n.RhoU;
    r.q[2][j] = n.RhoV;
    r.q[3][j] = n.Et;
    for (int c = 0; c < 4; ++c) {
        r.qp[c][j] = n.QProspect[c];
    }
}

}  // namespace

void GatherCurrentRow(const Node* row, int count, const GatheredRow& g) {
    const GatheredRow r = g;
    int j = 0;
#ifdef NEMBRA_NODE_BLOCKS
    for (; j + kBlockNodes <= count; j += kBlockNodes) {
        const SlotBlock conserved = LoadBlock(row + j, offsetof(Node, Rho));  // Rho RhoU RhoV Et
        const SlotBlock primitives = LoadBlock(row + j, offsetof(Node, U));   // U V Eint T
        const SlotBlock transport = LoadBlock(row + j, offsetof(Node, P));    // P Mu K -
        StoreRows(r.q, j, conserved);
        StoreRow(r.rho, j, Abs(conserved.slot[0]));
        StoreRow(r.et, j, Abs(conserved.slot[3]));
        StoreRow(r.u, j, primitives.slot[0]);
        StoreRow(r.v, j, primitives.slot[1]);
        StoreRow(r.t, j, primitives.slot[3]);
        StoreRow(r.p, j, Abs(transport.slot[0]));
        StoreRow(r.mu, j, transport.slot[1]);
        StoreRow(r.k, j, transport.slot[2]);
    }
#endif
    for (; j < count; ++j) {
        GatherCurrentNode(row[j], r, j);
    }
}

void GatherPredictedRow(const Node* row, int count, const GatheredRow& g) {
    const GatheredRow r = g;
    int j = 0;
#ifdef NEMBRA_NODE_BLOCKS
    for (; j + kBlockNodes <= count; j += kBlockNodes) {
        // Rho RhoU RhoV Et; UProspect VProspect EintProspect TProspect;
        // PProspect EtProspect MuProspect KProspect; QProspect[0..3]
        const SlotBlock conserved = LoadBlock(row + j, offsetof(Node, Rho));
        const SlotBlock primitives = LoadBlock(row + j, offsetof(Node, UProspect));
        const SlotBlock transport = LoadBlock(row + j, offsetof(Node, PProspect));
        const SlotBlock predicted = LoadBlock(row + j, offsetof(Node, QProspect));
        StoreRows(r.q, j, conserved);
        StoreRows(r.qp, j, predicted);
        StoreRow(r.u, j, primitives.slot[0]);
        StoreRow(r.v, j, primitives.slot[1]);
        StoreRow(r.t, j, primitives.slot[3]);
        StoreRow(r.rho, j, Abs(predicted.slot[0]));
        StoreRow(r.p, j, Abs(transport.slot[0]));
        StoreRow(r.et, j, Abs(transport.slot[1]));
        StoreRow(r.mu, j, transport.slot[2]);
        StoreRow(r.k, j, transport.slot[3]);
    }
#endif
    for (; j < count; ++j) {
        GatherPredictedNode(row[j], r, j);
    }
}

}  // namespace Nembra::step
