#pragma once

namespace stowline {

// Gives the application what the desktop knows it by: the icon every window shows, the name of its
// desktop entry and the string table in the system's language. Call once, after QApplication exists.
void SetUpApplicationIdentity();

} // namespace stowline
