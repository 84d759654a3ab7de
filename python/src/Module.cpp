// nembra._nembra: the library's solvers for Python. The package nembra wraps it.
#include <pybind11/pybind11.h>

#include "Bindings.h"

PYBIND11_MODULE(_nembra, m) {
    m.doc() = "The Nembra solvers: 2-D compressible viscous flow and 1-D diffusion.";
    nembra_python::BindMessages(m);
    nembra_python::BindMeshLayout(m);
    nembra_python::BindFlow(m);
    nembra_python::BindCases(m);
    nembra_python::BindDiffusion(m);
}
