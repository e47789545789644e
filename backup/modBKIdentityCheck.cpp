#include "backup/modBKIdentityCheck.h"

#include "archive/IdentityCatalog.h"
#include "foundation/RegEdit.h"
#include "foundation/modError.h"
#include "foundation/modSystemPath.h"

#include <QFileInfo>

namespace stowline {

namespace {

const QString identitiesKey = QStringLiteral("Identities");

// The store folder of an identity, or "" when its Outlook Express key or "Store Root" is missing.
QString storeRootOf(RegEdit& reg, const QString& id) {
    reg.KeyPath = identitiesKey + u'\\' + id + QStringLiteral("\\Software\\Microsoft\\Outlook Express\\5.0");
    if (!reg.Exists(1))
        return {};
    reg.ValueName = QStringLiteral("Store Root");
    if (!reg.Exists(0))
        return {};
    reg.ReadValue();
    return LocalPath(reg.Value.toString());
}

QString displayNameOf(RegEdit& reg, const QString& id) {
    reg.KeyPath = identitiesKey + u'\\' + id;
    reg.ValueName = QStringLiteral("Username");
    if (!reg.Exists(0))
        return id;
    reg.ReadValue();
    return reg.Value.toString();
}

} // namespace

bool Identity_Check(IdentityCatalog& catalog) {
    bool result = false;
    TRAP_BEGIN("modBKIdentityCheck:Identity_Check")
        STEP(1) catalog.clear();
        RegEdit& reg = regAccess();
        STEP(2) reg.RootKey = RegEdit::HKEY_CURRENT_USER;
        STEP(3) reg.KeyPath = identitiesKey;
        STEP(4) if (!reg.Exists(1) || reg.CountEntries(0) <= 0) return result;
        STEP(5) const QStringList ids = reg.GetSubKeys();
        for (const QString& id : ids) {
            STEP(6) const QString store = storeRootOf(reg, id);
            STEP(7) if (store.isEmpty() || !QFileInfo(store).isDir()) continue;
            STEP(8) const QString name = displayNameOf(reg, id);
            STEP(9) catalog.add({name, id, store});
            STEP(12) result = true;
        }
    TRAP_END
    return result;
}

} // namespace stowline
