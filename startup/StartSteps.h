#pragma once

#include "platform/InstanceLock.h"
#include "startup/CommandLineOptions.h"

#include <QString>
#include <functional>
#include <optional>

namespace stowline {

// The steps every start takes, with windows or without them.

// With TZ unset glibc stats /etc/localtime on every time conversion (one per member when a zip's
// directory is read); naming that same file once lets it read the zone only once.
void PinLocalTimeZone();

// Exit statuses of a start that cannot go on.
constexpr int RegistryUnusable = 4;
constexpr int AlreadyRunning = 5;

// The registry --wine-prefix or --profile names, when either does, instead of Stowline's own store.
void ChooseRegistrySource(const CommandLineOptions& options);

// Opens the registry and reads its drive table; what to tell when it cannot be used.
std::optional<QString> RegistryFailure();

// Makes this program the only writer of its registry store. Null when another Stowline holds it,
// with refusal set to what to tell.
platform::RegistryStoreLock LockStore(QString& refusal);

// Counts this start. The first and the 25th ask whether to open the identities page or the
// feedback mail; open shows the address chosen.
void CountStart(const std::function<void(const QString& address)>& open);

} // namespace stowline
