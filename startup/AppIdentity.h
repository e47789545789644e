#pragma once

namespace stowline {

// Gives the application what the desktop knows it by: the icon every window shows (left out when no
// window is shown), the name of its desktop entry and the string table in the system's language.
// Call once, after QApplication exists.
void SetUpApplicationIdentity(bool windowsShown = true);

} // namespace stowline
