#pragma once

#include <QString>

namespace stowline {

double GetFreeDiskSpace(const QString& path);
double QueryFreeBytes(const QString& path);
double CLargeInt(qint32 low, qint32 high);

} // namespace stowline
