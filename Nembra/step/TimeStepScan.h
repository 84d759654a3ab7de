#pragma once

// The Courant-limited time step's scan of the current state: the largest viscous diffusivity and
// the largest sum of acoustic and convective rates, read four records at a time, with the check
// for infinite and NaN values of the same records in the same read (the records are the largest
// stream of the step; reading them once for both is what the arrangement buys).

#include "Nembra/step/Vector.h"

namespace Nembra::step {

// What the time step needs of the mesh, gathered in one read of every node: the largest viscous
// diffusivity, and the largest sum of the acoustic and convective terms.
//
// A node's step, Courant/(rate + viscous term), only shrinks as its rate grows (correctly rounded
// addition and division are monotonic and Courant is positive), so the smallest node step is the
// step of the largest rate: one division gives exactly the minimum of all the per-node divisions.
// A NaN rate is passed over like a NaN node step, except at the first node, whose step is taken
// whatever it is.
struct TimeStepScan {
    double largestDiffusivity = 0;
    double largestRate = -1;  // negative while no node with a number as its rate has been seen
    double firstRate = 0;
    bool visitedAny = false;
};

struct TimeStepTerms {
    double viscousFactor;
    double soundFactor;
    double sqrtSpacing;  // square root of the spacing coefficient
    double deltaX;
    double deltaY;
};

// Folds one row of `count` records into the scan and counts the unusable nodes among its first
// `checked` nodes as far as the vector blocks reach. Returns how many of those nodes have been
// checked; the caller checks the rest.
int ScanTimeStepRow(const Node* row, int count, int checked, const TimeStepTerms& terms,
                    TimeStepScan& scan, int& unusable);

}  // namespace Nembra::step
