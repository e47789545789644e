#include "archive/ArchivePassphrase.h"

#include "archive/ZipDecrypt.h"
#include "foundation/RegEdit.h"
#include "foundation/StringIds.h"
#include "foundation/Strings.h"
#include "foundation/modSettings.h"
#include "platform/Keyring.h"
#include "platform/PrivateFiles.h"

namespace stowline {

namespace {

// The keyring's own words end without a full stop, and another sentence follows them.
QString asSentence(const QString& text) {
    return text.isEmpty() || QStringLiteral(".!?").contains(text.back()) ? text : text + u'.';
}

QString keyringProblem(const platform::KeyringAnswer& answer) {
    switch (answer.status) {
    case platform::KeyringAnswer::Status::TimedOut:
        return Str(txtKeyringTimedOut);
    case platform::KeyringAnswer::Status::NotFound:
        return Str(txtKeyringHoldsNone);
    default:
        return Str(txtKeyringUnreachable) + u' ' + asSentence(answer.problem);
    }
}

QString keyFileProblem(const QString& path, platform::SecretFileProblem problem) {
    using platform::SecretFileProblem;
    if (path.isEmpty())
        return Str(txtNoKeyFile);
    switch (problem) {
    case SecretFileProblem::Missing:
        return Str(txtKeyFileMissing) + u' ' + path;
    case SecretFileProblem::OpenToOthers:
    case SecretFileProblem::OtherOwner:
        return Str(txtKeyFileNotPrivate) + u' ' + path;
    default:
        return Str(txtKeyFileUnreadable) + u' ' + path;
    }
}

} // namespace

QString PassphraseKeyringEntry() { return QStringLiteral("archive passphrase"); }

bool EncryptSetting() {
    return ReadSetting(regAccess(), QStringLiteral("Encrypt")).value_or(QString()) == u"1";
}

QString KeyFileSetting() { return ReadSetting(regAccess(), QStringLiteral("KeyFile")).value_or(QString()); }

void WriteEncryptSettings(bool encrypt, const QString& keyFile) {
    WriteSetting(regAccess(), QStringLiteral("Encrypt"), encrypt ? QStringLiteral("1") : QStringLiteral("0"));
    WriteSetting(regAccess(), QStringLiteral("KeyFile"), keyFile);
}

UnattendedPassphrase FindUnattendedPassphrase(std::chrono::milliseconds limit) {
    const platform::KeyringAnswer answer = platform::ReadKeyringSecret(PassphraseKeyringEntry(), limit);
    if (answer.status == platform::KeyringAnswer::Status::Done && !answer.secret.isEmpty())
        return {answer.secret.toUtf8(), {}};
    const QString keyFile = KeyFileSetting();
    const platform::SecretFile file =
        keyFile.isEmpty() ? platform::SecretFile{} : platform::readSecretFile(keyFile);
    if (!keyFile.isEmpty() && file.problem == platform::SecretFileProblem::None && !file.secret.isEmpty())
        return {file.secret, {}};
    return {{},
            Str(txtNoPassphraseFound) + u' ' + keyringProblem(answer) + u' ' +
                keyFileProblem(keyFile, file.problem)};
}

void ProvideUnattendedPassphrase(const QString& archivePath) {
    if (TryArchivePassphrase(archivePath, {}) == PassphraseFit::NotEncrypted)
        return;
    AddArchivePassphrase(FindUnattendedPassphrase().passphrase);
}

} // namespace stowline
