#pragma once

#include "platform/System.h"

namespace stowline {

platform::OsVersion GetOSVersion();

} // namespace stowline
