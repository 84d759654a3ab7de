#pragma once

#include <string>

namespace nembra_python {

// Issues the library's allocation messages gathered on this thread since the last call as
// nembra.AllocationWarning, one warning each ("caption: text"). Needs the GIL; throws
// error_already_set when a warnings filter turns them into errors.
void WarnAllocationMessages();
// Forgets the messages gathered on this thread (for a construction refused before it started).
void DiscardAllocationMessages();

// Issues nembra.ValueReportWarning with the given text. Needs the GIL.
void WarnValueReports(const std::string& text);

}  // namespace nembra_python
