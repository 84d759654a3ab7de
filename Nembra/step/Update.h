#pragma once

// Phases 2 and 5 on the interior of one row: the predictor's forward and the corrector's rearward
// differences of the fluxes, then the decoding of the new conserved vectors into primitives and
// transport values (Sutherland's law). Templates, so that the caller's write-back of the row
// before can sit between the decoding's blocks of divisions, which run on a unit of their own.

#include <cmath>

#include "Nembra/step/Vector.h"
#include "Nembra/step/WorkingRows.h"

namespace Nembra::step {

// Density and total energy cannot be negative; the momenta keep their sign.
inline void MakeDensityAndEnergyPositive(const RowResults& r, int begin, int end) {
    double* const rho = r.updated[0];
    double* const et = r.updated[3];
    NEMBRA_VECTOR_LOOP
    for (int j = begin; j < end; ++j) {
        rho[j] = std::fabs(rho[j]);
        et[j] = std::fabs(et[j]);
    }
}

// out[j] = std::pow(x[j], 1.5) for j = begin .. end-1, every bit as pow gives it.
void PowersThreeHalves(const double* x, double* out, int begin, int end);

// The primitives of one node's conserved vector, or of four nodes' at once.
template <class Value>
struct Primitives {
    Value u;
    Value v;
    Value eint;
    Value t;
    Value p;
    Value ratio;  // temperature over the reference temperature
};

// Primitives and transport values of the conserved vectors in r.updated (density and total
// energy already made positive), nodes begin .. end-1, as the step's decoding specifies them.
// `betweenBlocks(j)` runs after each block of four nodes from j on: the caller writes back the
// previous row's block j there, so that those stores overlap this row's divisions.
template <class BetweenBlocks>
void DecodeConservedRow(const StepRows& w, const RowResults& r, int begin, int end,
                        const StepConstants& c, BetweenBlocks betweenBlocks) {
    const FourRows q(r.updated);
    double* const uOut = r.u;
    double* const vOut = r.v;
    double* const eintOut = r.eint;
    double* const tOut = r.t;
    double* const pOut = r.p;
    double* const ratioOut = w.ratio;
    // The constants in locals: the stores of the loops below cannot then be taken to change them.
    const double cv = c.cv;
    const double gasConstant = c.gasConstant;
    const double tRef = c.tRef;
    const auto decode = [cv, gasConstant, tRef](auto rho, auto rhoU, auto rhoV, auto et) {
        const auto u = rhoU / rho;
        const auto v = rhoV / rho;
        const auto eint = Magnitude(et / rho - (u * u + v * v) * 0.5);
        const auto T = Magnitude(eint / cv);
        const auto p = Magnitude(rho * gasConstant * T);
        // T is already positive: Sutherland's |T| is T itself.
        const auto ratio = T / tRef;
        return Primitives<decltype(rho)>{u, v, eint, T, p, ratio};
    };
    const auto decodeNode = [&](int j) {
        const Primitives<double> d = decode(q.r0[j], q.r1[j], q.r2[j], q.r3[j]);
        uOut[j] = d.u;
        vOut[j] = d.v;
        eintOut[j] = d.eint;
        tOut[j] = d.t;
        pOut[j] = d.p;
        ratioOut[j] = d.ratio;
    };
    const int blocksEnd = EndOfBlocks(begin, end);
    for (int j = begin; j < blocksEnd; j += kBlockNodes) {
#ifdef NEMBRA_NODE_BLOCKS
        const Primitives<Double4> d =
            decode(LoadRow(q.r0, j), LoadRow(q.r1, j), LoadRow(q.r2, j), LoadRow(q.r3, j));
        StoreRow(uOut, j, d.u);
        StoreRow(vOut, j, d.v);
        StoreRow(eintOut, j, d.eint);
        StoreRow(tOut, j, d.t);
        StoreRow(pOut, j, d.p);
        StoreRow(ratioOut, j, d.ratio);
#else
        for (int k = j; k < j + kBlockNodes; ++k) {
            decodeNode(k);
        }
#endif
        betweenBlocks(j);
    }
    for (int j = blocksEnd; j < end; ++j) {
        decodeNode(j);
    }
    PowersThreeHalves(ratioOut, w.power, begin, end);
    const double* const powerOut = w.power;
    double* const muOut = r.mu;
    double* const kOut = r.k;
    const double sutherlandNumerator = tRef + 110;
    const double muRef = c.muRef;
    const double cp = c.cp;
    const double prandtl = c.prandtl;
    NEMBRA_VECTOR_LOOP
    for (int j = begin; j < end; ++j) {
        const double mu = std::fabs(powerOut[j] * muRef * sutherlandNumerator / (tOut[j] + 110));
        muOut[j] = mu;
        kOut[j] = std::fabs(mu * cp / prandtl);
    }
}

// Phase 2 at the interior nodes of row i: forward differences of the fluxes of rows i and i+1.
template <class BetweenBlocks>
void PredictRow(const StepRows& w, int i, int count, const StepConstants& c,
                BetweenBlocks betweenBlocks) {
    const int end = count - 1;
    const GatheredRow& g = w.ring[i % kRingRows];
    const RowResults& r = w.results[i % kResultRows];
    const double deltaX = c.deltaX;
    const double deltaY = c.deltaY;
    const double deltaT = c.deltaT;
    for (int n = 0; n < 4; ++n) {
        const double* en = w.e[i % kFluxRows][n];
        const double* enNext = w.e[(i + 1) % kFluxRows][n];
        const double* fn = w.f[i % kFluxRows][n];
        const double* qn = g.q[n];
        double* dudt = r.dudt[n];
        double* qp = r.updated[n];
        NEMBRA_VECTOR_LOOP
        for (int j = 1; j < end; ++j) {
            dudt[j] = -((enNext[j] - en[j]) / deltaX + (fn[j + 1] - fn[j]) / deltaY);
            qp[j] = qn[j] + dudt[j] * deltaT;
        }
    }
    MakeDensityAndEnergyPositive(r, 1, end);
    DecodeConservedRow(w, r, 1, end, c, betweenBlocks);
}

// Phase 5 at the interior nodes of row i: the average of the current state and the predicted
// state advanced by rearward differences of the predicted fluxes of rows i-1 and i.
template <class BetweenBlocks>
void CorrectRow(const StepRows& w, int i, int count, const StepConstants& c,
                BetweenBlocks betweenBlocks) {
    const int end = count - 1;
    const GatheredRow& g = w.ring[i % kRingRows];
    const RowResults& r = w.results[i % kResultRows];
    const double deltaX = c.deltaX;
    const double deltaY = c.deltaY;
    const double deltaT = c.deltaT;
    for (int n = 0; n < 4; ++n) {
        const double* en = w.e[i % kFluxRows][n];
        const double* enPrevious = w.e[(i + kFluxRows - 1) % kFluxRows][n];
        const double* fn = w.f[i % kFluxRows][n];
        const double* qn = g.q[n];
        const double* qpn = g.qp[n];
        double* corrected = r.updated[n];
        NEMBRA_VECTOR_LOOP
        for (int j = 1; j < end; ++j) {
            corrected[j] = 0.5 * ((qpn[j] + qn[j]) - deltaT * ((fn[j] - fn[j - 1]) / deltaY +
                                                               (en[j] - enPrevious[j]) / deltaX));
        }
    }
    MakeDensityAndEnergyPositive(r, 1, end);
    DecodeConservedRow(w, r, 1, end, c, betweenBlocks);
}

}  // namespace Nembra::step
