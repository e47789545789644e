#include "backup/modBKIdentityCompress.h"

#include "archive/ArchiveLayout.h"
#include "archive/IdentityCatalog.h"
#include "archive/PhaseLog.h"
#include "archive/RunContext.h"
#include "archive/cmpZIP.h"
#include "backup/modBKWABCompress.h"
#include "foundation/ProgressView.h"
#include "foundation/RegEdit.h"
#include "foundation/StringIds.h"
#include "foundation/Strings.h"
#include "foundation/modAppRunning.h"
#include "foundation/modCLSID.h"
#include "foundation/modError.h"
#include "foundation/modGlobal.h"
#include "foundation/modTempPath.h"
#include "platform/PrivateFiles.h"
#include "platform/RegistrySource.h"

#include <QDir>

namespace stowline {

namespace {

const QString sharedAccountsKey = QStringLiteral("Software\\Microsoft\\Internet Account Manager");

QString ownAccountsKey(const QString& id) {
    return QStringLiteral("Identities\\") + id +
           QStringLiteral("\\Software\\Microsoft\\Internet Account Manager");
}

void ensureFolder(const QString& folder) {
    if (QDir(folder).exists())
        return;
    if (const int error = platform::makePrivateFolder(folder))
        RaiseOsError(error, true);
}

// The store is zipped straight into the backup archive when that is written.
void zipStore(cmpZIP& zip, const QString& id, const QString& store) {
    zip.NestedArchives.push_back({layout::IdentityDataMember(id).toUtf8(), store, CompressionLevelSetting});
}

// True when the shared account key's "AssociatedID" names this identity.
bool sharedAccountsBelongTo(const QString& id) {
    RegEdit& reg = regAccess();
    reg.RootKey = RegEdit::HKEY_CURRENT_USER;
    reg.KeyPath = sharedAccountsKey + QStringLiteral("\\Accounts");
    if (!reg.Exists(1))
        return false;
    reg.ValueName = QStringLiteral("AssociatedID");
    if (!reg.Exists(0))
        return false;
    reg.ReadValue();
    // Key names compare without regard to case, so an ID that differs only in case is the same key.
    return GetCLSID(reg.Value.toString()).compare(id, Qt::CaseInsensitive) == 0;
}

bool keyExists(const QString& path) {
    RegEdit& reg = regAccess();
    reg.RootKey = RegEdit::HKEY_CURRENT_USER;
    reg.KeyPath = path;
    return reg.Exists(1);
}

void deleteKey(const QString& path) {
    RegEdit& reg = regAccess();
    reg.RootKey = RegEdit::HKEY_CURRENT_USER;
    reg.KeyPath = path;
    reg.DeleteKey();
}

void copyValues(const QString& from, const QString& to) {
    regCopy().KeyPath = from;
    const RegValueList values = regCopy().GetValues();
    regAccess().KeyPath = to;
    regAccess().PutValues(values);
}

QStringList copySubKeyNames(const QString& from, const QString& to) {
    regCopy().KeyPath = from;
    const QStringList names = regCopy().GetSubKeys();
    regAccess().KeyPath = to;
    regAccess().CreateSubKeys(names);
    return names;
}

int countEntries(const QString& path, int kind) {
    regCopy().KeyPath = path;
    return regCopy().CountEntries(kind);
}

// The shared account key under the identity's key, three levels deep: what an export of the
// identity must carry.
void copySharedAccounts(const QString& d0) {
    const QString& s0 = sharedAccountsKey;
    regCopy().RootKey = RegEdit::HKEY_CURRENT_USER;
    regAccess().RootKey = RegEdit::HKEY_CURRENT_USER;
    regAccess().KeyPath = d0;
    regAccess().CreateKey();
    const QStringList level1 = copySubKeyNames(s0, d0);
    copyValues(s0, d0);
    for (const QString& s : level1) {
        const QString s1 = s0 + u'\\' + s;
        const QString d1 = d0 + u'\\' + s;
        copyValues(s1, d1);
        if (countEntries(s1, 1) <= 0)
            continue;
        for (const QString& t : copySubKeyNames(s1, d1)) {
            const QString s2 = s1 + u'\\' + t;
            if (countEntries(s2, 0) > 0)
                copyValues(s2, d1 + u'\\' + t);
        }
    }
}

// A whole tree, every level, values byte for byte with their types.
void copyTree(const QString& from, const QString& to) {
    regCopy().RootKey = RegEdit::HKEY_CURRENT_USER;
    regAccess().RootKey = RegEdit::HKEY_CURRENT_USER;
    regAccess().KeyPath = to;
    regAccess().CreateKey();
    copyValues(from, to);
    regCopy().KeyPath = from;
    for (const QString& name : regCopy().GetSubKeys())
        copyTree(from + u'\\' + name, to + u'\\' + name);
}

QString parentKey(const QString& path) { return path.left(qMax(0, path.lastIndexOf(u'\\'))); }

// The outermost key of path that does not exist yet: deleting it later removes every key that
// setting path aside created.
QString outermostMissingKey(const QString& path) {
    QString missing;
    for (QString key = path; !key.isEmpty() && !keyExists(key); key = parentKey(key))
        missing = key;
    return missing;
}

// An identity that owns the shared accounts and already has an account key of its own gets that
// key back exactly as it was: it is set aside under the program's settings key before the copy
// and put back after the export. A set-aside key left by an interrupted backup is put back first.
class OwnAccountsGuard {
public:
    explicit OwnAccountsGuard(const QString& id) : m_own(ownAccountsKey(id)), m_saved(SavedAccountsKey(id)) {}

    void recoverInterrupted() {
        if (!keyExists(m_saved))
            return;
        putBack();
        removeEmptyKey(parentKey(m_saved));
    }

    void setAside() {
        if (!keyExists(m_own))
            return;
        m_createdRoot = outermostMissingKey(m_saved);
        copyTree(m_own, m_saved);
        m_setAside = true;
    }

    void restore() {
        if (!m_setAside)
            return;
        putBack();
        if (!m_createdRoot.isEmpty() && keyExists(m_createdRoot))
            deleteKey(m_createdRoot);
        m_setAside = false;
    }

private:
    void putBack() {
        if (keyExists(m_own))
            deleteKey(m_own);
        copyTree(m_saved, m_own);
        deleteKey(m_saved);
    }

    static void removeEmptyKey(const QString& path) {
        if (!keyExists(path))
            return;
        RegEdit& reg = regAccess();
        if (reg.CountEntries(0) == 0 && reg.CountEntries(1) == 0)
            reg.DeleteKey();
    }

    QString m_own;
    QString m_saved;
    QString m_createdRoot;
    bool m_setAside = false;
};

bool exportIdentityKey(const QString& folder, const QString& id, Questions& ask) {
    return ExportKey(folder + layout::IdentityKeyFile, QStringLiteral("HKEY_CURRENT_USER\\Identities\\") + id,
                     ask);
}

void appendIndexRecord(const QString& name, const QString& id) {
    layout::AppendIdentityRecord(TempDir() + QStringLiteral("stowline/") + layout::IdentityIndexFile, name,
                                 id);
}

} // namespace

QString SavedAccountsKey(const QString& identityId) {
    return SettingsKey() + QStringLiteral("\\Saved accounts\\") + identityId;
}

bool Identity_Compress(const IdentityCatalog& catalog, RunContext& run) {
    bool exported = true;
    TRAP_BEGIN("modBKIdentityCompress:Identity_Compress")
        STEP(1) const QList<Identity> chosen = catalog.selected();
        for (const Identity& identity : chosen) {
            STEP(4) const QString& id = identity.id;
            STEP(5) const QString& store = identity.storeFolder;
            STEP(6) run.progress.setStatus(Str(txtCompressingIdentity) + u' ' + identity.name);
            STEP(7) const QString folder = TempDir() + QStringLiteral("stowline/") + id + u'/';
            STEP(8) ensureFolder(folder);
            STEP(9) zipStore(run.zip, id, store);
            STEP(10) OwnAccountsGuard ownAccounts(id);
            bool shared = false;
            // Each side of the export is one commit: a sync per change cost a tenth of a second.
            platform::registry().write([&] {
                STEP(11) ownAccounts.recoverInterrupted();
                STEP(12) shared = sharedAccountsBelongTo(id);
                STEP(13) if (shared) {
                    STEP(14) ownAccounts.setAside();
                    STEP(15) copySharedAccounts(ownAccountsKey(id));
                }
            });
            STEP(16) {
                const PhaseLog phase("regedit export identity " + identity.name.toUtf8());
                exported = exportIdentityKey(folder, id, run.ask);
            }
            STEP(17)
            if (shared) platform::registry().write([&] {
                STEP(18) deleteKey(ownAccountsKey(id));
                STEP(19) ownAccounts.restore();
            });
            if (!exported)
                return false;
            STEP(20) appendIndexRecord(identity.name, id);
        }
    TRAP_END
    return exported;
}

} // namespace stowline
