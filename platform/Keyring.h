#pragma once

#include <QString>
#include <chrono>

namespace stowline::platform {

// Secrets kept in the desktop keyring (Secret Service, KWallet) under the service "Stowline".
// Each call waits for the keyring's answer in an event loop of its own, never longer than `limit`:
// a locked keyring may be waiting on a person who is not there.
struct KeyringAnswer {
    enum class Status { Done, NotFound, Unavailable, TimedOut };
    Status status = Status::Unavailable;
    QString secret;  // what a read found
    QString problem; // the keyring's own words when Unavailable
};

// A window's call may meet the keyring's own prompt (make a new keyring, unlock it), which a person
// at the desk answers: it waits as long as typing a keyring password takes.
constexpr std::chrono::minutes InteractiveKeyringLimit{2};

KeyringAnswer ReadKeyringSecret(const QString& key, std::chrono::milliseconds limit);
KeyringAnswer StoreKeyringSecret(const QString& key, const QString& secret, std::chrono::milliseconds limit);
KeyringAnswer DeleteKeyringSecret(const QString& key, std::chrono::milliseconds limit);

} // namespace stowline::platform
