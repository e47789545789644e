#pragma once

#include <QString>

namespace stowline {

// Lets the user pick a folder; "" when cancelled.
QString Input_Path();

} // namespace stowline
