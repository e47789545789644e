#pragma once

namespace stowline {

// Asks the system to restart (not forced); does not wait for the outcome.
void RequestReboot();

} // namespace stowline
