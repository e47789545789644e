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
#include <list>
#include <optional>

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

// An identity that owns the shared accounts gets its own account key back exactly as it was: set
// aside under the program's settings key before the copy and put back after the export. One that had
// none is noted as such, so that the copy goes again. What an interrupted backup set aside is put back
// first.
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
        m_createdRoot = outermostMissingKey(m_saved);
        if (keyExists(m_own)) {
            copyTree(m_own, m_saved);
        } else {
            RegEdit& reg = regAccess();
            reg.RootKey = RegEdit::HKEY_CURRENT_USER;
            reg.KeyPath = m_saved;
            reg.CreateKey();
            reg.ValueName = NoOwnKey;
            reg.ValueType = 1;
            reg.Value = QStringLiteral("1");
            reg.WriteValue();
        }
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
    // The marker's name cannot be an account key's value: those are the account manager's own.
    static inline const QString NoOwnKey = QStringLiteral("Stowline: no own accounts key");

    bool hadNoOwnKey() {
        RegEdit& reg = regAccess();
        reg.RootKey = RegEdit::HKEY_CURRENT_USER;
        reg.KeyPath = m_saved;
        reg.ValueName = NoOwnKey;
        return reg.Exists(0);
    }

    void putBack() {
        const bool none = hadNoOwnKey();
        if (keyExists(m_own))
            deleteKey(m_own);
        if (!none)
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

// One identity's key on its way out: its export runs while the next identity's key is prepared.
struct IdentityExport {
    const Identity& identity;
    OwnAccountsGuard ownAccounts;
    bool shared = false;
    std::optional<KeyExport> key;
};

// Prepares each identity's key (the shared accounts copied in when it owns them) and starts its
// export, so that the regedit children run side by side.
void startExports(const QList<Identity>& chosen, std::list<IdentityExport>& exports) {
    for (const Identity& identity : chosen) {
        const QString& id = identity.id;
        IdentityExport& pending = exports.emplace_back(identity, OwnAccountsGuard(id));
        bool shared = false;
        // Each side of the export is one commit: a sync per change cost a tenth of a second.
        platform::registry().write([&] {
            pending.ownAccounts.recoverInterrupted();
            shared = sharedAccountsBelongTo(id);
            if (shared) {
                pending.ownAccounts.setAside();
                copySharedAccounts(ownAccountsKey(id));
            }
        });
        pending.shared = shared; // only once committed: a write that failed changed nothing
        pending.key.emplace(TempDir() + QStringLiteral("stowline/") + id + u'/' + layout::IdentityKeyFile,
                            QStringLiteral("HKEY_CURRENT_USER\\Identities\\") + id);
    }
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
        // What can fail before a key is changed is done first, so that every key changed is put back.
        for (const Identity& identity : chosen) {
            STEP(8) ensureFolder(TempDir() + QStringLiteral("stowline/") + identity.id + u'/');
            STEP(9) zipStore(run.zip, identity.id, identity.storeFolder);
        }
        std::list<IdentityExport> exports;
        const auto putBack = [&](IdentityExport& pending) {
            if (pending.shared)
                platform::registry().write([&] {
                    STEP(18) deleteKey(ownAccountsKey(pending.identity.id));
                    STEP(19) pending.ownAccounts.restore();
                });
        };
        try {
            STEP(10) startExports(chosen, exports);
        } catch (...) { // keys already changed are put back, each once its export has ended
            for (IdentityExport& pending : exports) {
                if (pending.key)
                    pending.key->wait();
                putBack(pending);
            }
            throw;
        }
        // Every export is waited for and every key put back; the first failure is the one told.
        for (IdentityExport& pending : exports) {
            STEP(6) run.progress.setStatus(Str(txtCompressingIdentity) + u' ' + pending.identity.name);
            bool done = false;
            {
                const PhaseLog phase("regedit export identity " + pending.identity.name.toUtf8());
                done = exported ? pending.key->finish(run.ask) : pending.key->wait().isEmpty();
            }
            STEP(17) putBack(pending);
            STEP(20) if (exported && done) appendIndexRecord(pending.identity.name, pending.identity.id);
            exported = exported && done;
        }
    TRAP_END
    return exported;
}

} // namespace stowline
