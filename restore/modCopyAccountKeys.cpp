#include "restore/modCopyAccountKeys.h"

#include "foundation/RegEdit.h"
#include "foundation/modCLSID.h"
#include "foundation/modError.h"

namespace stowline {

namespace {

const QString kAccountManager = QStringLiteral("Software\\Microsoft\\Internet Account Manager");

void copyValuesAndSubKeyNames(RegEdit& target, RegEdit& source) {
    target.CreateSubKeys(source.GetSubKeys());
    target.PutValues(source.GetValues());
}

} // namespace

void CopyAccountKeys(const QString& identityId) {
    TRAP_BEGIN("modCopyAccountKeys:CopyAccountKeys")
        // One commit for every copied key: a sync each cost a tenth of a second. A failure rolls it
        // back and is reported once the store is let go.
        RegInOneCommit([&] {
            STEP(1) RegEdit& target = regAccess();
            STEP(2) RegEdit& source = regCopy();
            STEP(3) target.RootKey = RegEdit::HKEY_CURRENT_USER;
            STEP(4) source.RootKey = RegEdit::HKEY_CURRENT_USER;
            STEP(5)
            const QString sourceKey = QStringLiteral("Identities\\") + identityId + u'\\' + kAccountManager;
            STEP(6) target.KeyPath = kAccountManager;
            STEP(7) target.CreateKey();
            STEP(8) source.KeyPath = sourceKey;
            STEP(9) copyValuesAndSubKeyNames(target, source);
            STEP(10) const QStringList firstLevel = source.GetSubKeys();
            for (const QString& n1 : firstLevel) {
                STEP(11) target.KeyPath = kAccountManager + u'\\' + n1;
                STEP(12) source.KeyPath = sourceKey + u'\\' + n1;
                STEP(13) target.PutValues(source.GetValues());
                STEP(14) if (source.CountEntries(1) > 0) {
                    STEP(15) target.CreateSubKeys(source.GetSubKeys());
                    STEP(16) const QStringList secondLevel = source.GetSubKeys();
                    for (const QString& n2 : secondLevel) {
                        STEP(17) target.KeyPath = kAccountManager + u'\\' + n1 + u'\\' + n2;
                        STEP(18) source.KeyPath = sourceKey + u'\\' + n1 + u'\\' + n2;
                        STEP(19) target.PutValues(source.GetValues());
                    }
                }
            }
            STEP(20) target.KeyPath = kAccountManager + QStringLiteral("\\Accounts");
            STEP(21) if (target.Exists(1)) {
                STEP(22) target.ValueName = QStringLiteral("AssociatedID");
                STEP(23) if (target.Exists(0)) target.DeleteValue();
                STEP(24) target.ValueType = 3;
                STEP(25) target.Value = CLSID(identityId);
                STEP(26) target.WriteValue();
                STEP(27) target.ValueType = 1;
            }
            STEP(28) target.KeyPath = sourceKey;
            STEP(29) target.DeleteKey();
        });
    TRAP_END
}

} // namespace stowline
