#pragma once

namespace stowline {

// Reads the address book file path into WABFilePath; true when that file exists.
bool WAB_Check();

} // namespace stowline
