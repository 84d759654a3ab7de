#include "Messages.h"

#include <string>
#include <vector>

#include <pybind11/pybind11.h>

#include "Bindings.h"
#include "Nembra/MessageHandler.h"

namespace py = pybind11;

namespace nembra_python {
namespace {

PyObject* allocationWarning = nullptr;
PyObject* valueReportWarning = nullptr;

// The library announces a failed allocation on the thread that asked for the memory, during
// construction, possibly without the GIL: keep the text until the binding can hand it to Python.
thread_local std::vector<std::string> pendingMessages;

void KeepMessage(const char* text, const char* caption) {
    pendingMessages.push_back(std::string(caption) + ": " + text);
}

void Warn(PyObject* category, const std::string& text) {
    if (PyErr_WarnEx(category, text.c_str(), 2) != 0) {
        throw py::error_already_set();
    }
}

PyObject* NewWarning(py::module_& m, const char* name, const char* doc) {
    const std::string qualified = std::string("nembra.") + name;
    PyObject* category =
        PyErr_NewExceptionWithDoc(qualified.c_str(), doc, PyExc_RuntimeWarning, nullptr);
    if (category == nullptr) {
        throw py::error_already_set();
    }
    m.attr(name) = py::handle(category);
    return category;
}

}  // namespace

void WarnAllocationMessages() {
    std::vector<std::string> messages;
    messages.swap(pendingMessages);
    for (const std::string& message : messages) {
        Warn(allocationWarning, message);
    }
}

void DiscardAllocationMessages() {
    pendingMessages.clear();
}

void WarnValueReports(const std::string& text) {
    Warn(valueReportWarning, text);
}

void BindMessages(py::module_& m) {
    allocationWarning =
        NewWarning(m, "AllocationWarning",
                   "The library's messages of a failed allocation (\"AllocateMeshNodesSpace 1\", "
                   "...), issued before the MemoryError that follows them.");
    valueReportWarning = NewWarning(
        m, "ValueReportWarning",
        "Nodes holding an infinite or NaN value before a time step. The library writes "
        "\"error:value'error\" to standard output once for each such node; step() counts "
        "them (value_reports) and issues one warning per call that had any.");
    Nembra::SetMessageHandler(&KeepMessage);
}

}  // namespace nembra_python
