#include "ui/ArchiveEncryptionSetup.h"

#include "archive/ArchivePassphrase.h"
#include "foundation/Passphrase.h"
#include "foundation/StringIds.h"
#include "foundation/Strings.h"
#include "foundation/modGlobal.h"
#include "platform/Dialogs.h"
#include "platform/Keyring.h"

namespace stowline {

namespace {

using platform::MsgAnswer, platform::MsgButtons, platform::MsgIcon;

// One the person types; empty when cancelled. A weak one is refused and asked again.
QByteArray typedPassphrase() {
    for (;;) {
        const QString typed = platform::dialogs().secretBox(Str(txtTypePassphrase), AppTitle());
        if (typed.isEmpty())
            return {};
        if (EstimatedPassphraseBits(typed) >= MinimumPassphraseBits)
            return typed.toUtf8();
        platform::dialogs().messageBox(Str(txtPassphraseTooWeak), MsgButtons::OK, MsgIcon::Exclamation,
                                       AppTitle());
    }
}

// Kept in the keyring for the scheduled backups; where the keyring cannot take it, the person is told
// that a key file has to do.
void keep(const QByteArray& passphrase) {
    const platform::KeyringAnswer stored = platform::StoreKeyringSecret(
        PassphraseKeyringEntry(), QString::fromUtf8(passphrase), platform::InteractiveKeyringLimit);
    if (stored.status != platform::KeyringAnswer::Status::Done)
        platform::dialogs().messageBox(Str(txtPassphraseNotKept), MsgButtons::OK, MsgIcon::Exclamation,
                                       AppTitle());
}

} // namespace

QByteArray ChooseNewPassphrase() {
    const QString generated = GeneratePassphrase();
    const QString text = Str(txtGeneratedPassphrase) + QStringLiteral("\r\r    ") + generated +
                         QStringLiteral("\r\r") + Str(txtWriteItDown);
    QByteArray chosen;
    switch (platform::dialogs().messageBox(text, MsgButtons::YesNoCancel, MsgIcon::Information, AppTitle())) {
    case MsgAnswer::Yes:
        chosen = generated.toUtf8();
        break;
    case MsgAnswer::No:
        chosen = typedPassphrase();
        break;
    default:
        return {};
    }
    if (!chosen.isEmpty())
        keep(chosen);
    return chosen;
}

QByteArray PassphraseForBackup() {
    const QByteArray kept = FindUnattendedPassphrase().passphrase;
    return kept.isEmpty() ? ChooseNewPassphrase() : kept;
}

} // namespace stowline
