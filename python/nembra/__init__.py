"""The Nembra solvers from Python: 2-D compressible viscous flow and 1-D diffusion.

    import nembra
    plate = nembra.FlatPlate(wall="isothermal")
    plate.run(until_converged=1e-8)
    T = plate.field("T")            # a new (imax, jmax) float64 array

Flow, FlatPlate, ShockTube, BlastWave and Diffusion wrap the C++ library's
NavierStokesEquations2D, SupersonicFlatPlate, ShockTube, BlastWave and DiffusionEquation;
ExactRiemannSolution is the shock tube's inviscid answer. Every number is the library's own.
"""

from ._nembra import (
    MESH_NODE,
    SLOTS,
    AllocationWarning,
    BlastWave,
    Diffusion,
    ExactRiemannSolution,
    FlatPlate,
    Flow,
    ShockTube,
    ValueReportWarning,
)
from ._checkpoint import attach_checkpoints, load
from ._run import RunSummary, attach_run

__all__ = [
    "Flow",
    "FlatPlate",
    "ShockTube",
    "BlastWave",
    "ExactRiemannSolution",
    "RiemannSample",
    "Diffusion",
    "RunSummary",
    "load",
    "SLOTS",
    "MESH_NODE",
    "AllocationWarning",
    "ValueReportWarning",
]

RiemannSample = ExactRiemannSolution.Sample

for _solver in (Flow, FlatPlate, ShockTube, BlastWave, Diffusion):
    attach_run(_solver)
for _solver in (Flow, FlatPlate, ShockTube, BlastWave):
    attach_checkpoints(_solver)
del _solver
