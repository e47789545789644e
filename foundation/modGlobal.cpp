#include "foundation/modGlobal.h"

#include "foundation/RegEdit.h"
#include "foundation/StringIds.h"
#include "foundation/Strings.h"
#include "foundation/modAppRunning.h"
#include "foundation/modError.h"

namespace stowline {

qint16 CompressionLevelSetting = 1;
qint16 LaunchOESetting = 0;
qint16 RememberLocationsSetting = 0;
qint16 SchedulerDisableSetting = 0;

QString AppTitle() {
    return Str(txtProduct) + u' ' + QString::number(VersionMajor) + u'.' + QString::number(VersionMinor);
}

QString SettingsKey() {
    return QStringLiteral("SOFTWARE\\Velmora\\Stowline\\") + QString::number(VersionMajor) + u'.' +
           QString::number(VersionMinor);
}

QString VendorWebHost() { return QStringLiteral(STOWLINE_WEB_HOST); }
QString SupportMailAddress() { return QStringLiteral(STOWLINE_SUPPORT_MAIL); }
QString BugMailAddress() { return QStringLiteral(STOWLINE_BUG_MAIL); }

void Launch_OE() {
    TRAP_BEGIN("modGlobal:Launch_OE")
        STEP(1) RegEdit& reg = regAccess();
        STEP(2) reg.RootKey = RegEdit::HKEY_LOCAL_MACHINE;
        STEP(3) reg.KeyPath = QStringLiteral("SOFTWARE\\Clients\\Mail");
        STEP(4) reg.ValueType = 1;
        QString client;
        STEP(5) if (reg.Exists(1)) {
            STEP(6) reg.ValueName = QString();
            STEP(7) if (reg.Exists(0)) {
                STEP(8) reg.ReadValue();
                STEP(9) client = reg.Value.toString();
            }
        }
        STEP(10) if (!client.isEmpty()) {
            STEP(11)
            reg.KeyPath = QStringLiteral("SOFTWARE\\Clients\\Mail\\") + client +
                          QStringLiteral("\\Shell\\Open\\Command");
            STEP(12) reg.ValueName = QString();
            STEP(13) if (reg.Exists(1) && reg.Exists(0)) {
                STEP(14) reg.ReadValue();
                STEP(15) StartDetached(reg.Value.toString());
            }
        }
        STEP(16) reg.RootKey = RegEdit::HKEY_CURRENT_USER;
    TRAP_END
}

} // namespace stowline
