#pragma once

#include <QByteArray>

namespace stowline {

// The passphrase of encrypted backups for a backup about to start: the one already kept (desktop
// keyring, key file) or, when there is none, a new one chosen now. Empty when the person gave up.
QByteArray PassphraseForBackup();

// A new passphrase: the generated one, shown once to be printed or written down, or one the person
// types instead (refused when estimated under 60 bits); kept in the desktop keyring for the
// scheduled backups. Empty when the person gave up.
QByteArray ChooseNewPassphrase();

} // namespace stowline
