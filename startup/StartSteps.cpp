#include "startup/StartSteps.h"

#include "foundation/RegEdit.h"
#include "foundation/StringIds.h"
#include "foundation/Strings.h"
#include "foundation/modGlobal.h"
#include "foundation/modSettings.h"
#include "platform/Dialogs.h"
#include "platform/Platform.h"
#include "platform/RegistrySource.h"
#include "platform/RegistryStore.h"

namespace stowline {

void PinLocalTimeZone() {
    if (!qEnvironmentVariableIsSet("TZ"))
        qputenv("TZ", ":/etc/localtime");
}

void ChooseRegistrySource(const CommandLineOptions& options) {
    using platform::RegistrySource;
    if (!options.winePrefix.isEmpty())
        platform::chooseRegistrySource({RegistrySource::Kind::WinePrefix, options.winePrefix, {}});
    else if (!options.profile.isEmpty())
        platform::chooseRegistrySource({RegistrySource::Kind::Profile, options.profile, options.windowsRoot});
}

std::optional<QString> RegistryFailure() {
    try {
        platform::pathMapper(); // opens the registry and reads its drive table
        return std::nullopt;
    } catch (const platform::RegistryError& error) {
        return QString::fromUtf8(error.what());
    }
}

platform::RegistryStoreLock LockStore(QString& refusal) {
    const QString store = platform::registryFileName();
    platform::RegistryStoreLock lock = platform::LockRegistryStore(store);
    if (!lock)
        refusal = Str(txtAlreadyRunning) + u' ' + store;
    return lock;
}

void CountStart(const std::function<void(const QString& address)>& open) {
    RegEdit& reg = regAccess();
    const std::optional<QString> stored = ReadSetting(reg, QStringLiteral("TimesRun"));
    qint16 timesRun = stored ? ToInt16(*stored) : 0;
    using platform::MsgAnswer, platform::MsgButtons, platform::MsgIcon;
    if (timesRun == 0) {
        if (platform::dialogs().messageBox(Str(txtIdentitiesPrompt1) + u'\r' + Str(txtIdentitiesPrompt2),
                                           MsgButtons::YesNo, MsgIcon::Information,
                                           AppTitle()) == MsgAnswer::Yes)
            open(VendorWebHost() + Str(txtIdentitiesPage));
    } else if (timesRun == 25) {
        if (platform::dialogs().messageBox(Str(txtFeedbackPrompt1) + u'\r' + Str(txtFeedbackPrompt2),
                                           MsgButtons::YesNo, MsgIcon::Information,
                                           AppTitle()) == MsgAnswer::Yes)
            open(Str(txtFeedbackMailto) + SupportMailAddress());
    }
    ++timesRun;
    if (timesRun >= 26)
        timesRun = 50;
    WriteSetting(reg, QStringLiteral("TimesRun"), QString::number(timesRun));
}

} // namespace stowline
