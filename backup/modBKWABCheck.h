#pragma once

#include <QString>

namespace stowline {

// The address book file the registry names; empty when it names none.
QString AddressBookFile();
// True when the address book file exists.
bool WAB_Check();

} // namespace stowline
