#pragma once

#include <QString>

namespace stowline {

class Questions;

// Lets the user pick a folder; "" when cancelled.
QString Input_Path(Questions& ask);

} // namespace stowline
