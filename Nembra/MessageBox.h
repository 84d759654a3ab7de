#pragma once

// Internal: not installed. Shows one modal message box, or hands it to the host's handler.
namespace Nembra {
namespace detail {

void ShowMessageBox(const char* text, const char* caption);

// The box that announces any storage the library could not obtain.
void ShowMemoryErrorBox();

}  // namespace detail
}  // namespace Nembra
