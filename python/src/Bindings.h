#pragma once

#include <pybind11/pybind11.h>

namespace nembra_python {

void BindMeshLayout(pybind11::module_& m);
void BindMessages(pybind11::module_& m);
void BindFlow(pybind11::module_& m);
void BindCases(pybind11::module_& m);
void BindDiffusion(pybind11::module_& m);

}  // namespace nembra_python
