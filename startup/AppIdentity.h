#pragma once

namespace stowline {

// Gives the application what the desktop knows it by: the icon every window shows and the name of
// its desktop entry. Call once, after QApplication exists.
void SetUpApplicationIdentity();

} // namespace stowline
