#pragma once

#include <QByteArray>
#include <QString>
#include <chrono>

namespace stowline {

// How long an unattended run waits for the keyring: a locked one may wait on a person not there.
constexpr std::chrono::seconds UnattendedPassphraseLimit{10};

// The keyring's entry that holds the archive passphrase.
QString PassphraseKeyringEntry();

// The settings "Encrypt" ("1": backups are encrypted) and "KeyFile" (the passphrase's file for
// machines without a desktop keyring), kept under the program's settings key.
bool EncryptSetting();
QString KeyFileSetting();
void WriteEncryptSettings(bool encrypt, const QString& keyFile);

// The passphrase for a run nobody watches: from the desktop keyring, else from the key file (owner-only,
// the passphrase alone, one final line end ignored). Empty with problem saying why neither gave it.
struct UnattendedPassphrase {
    QByteArray passphrase;
    QString problem;
};
UnattendedPassphrase FindUnattendedPassphrase(std::chrono::milliseconds limit = UnattendedPassphraseLimit);

// For a reader nobody answers (--verify, --export-mail): an encrypted archive gets the unattended
// passphrase, when there is one, for every reader of this process.
void ProvideUnattendedPassphrase(const QString& archivePath);

} // namespace stowline
