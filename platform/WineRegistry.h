#pragma once

#include "platform/WineRegistryFile.h"

#include <QMap>
#include <mutex>
#include <sys/types.h>

namespace stowline::platform {

// The registry of a Wine prefix: user.reg is HKEY_CURRENT_USER, system.reg HKEY_LOCAL_MACHINE.
// Files are read whole when opened and again whenever another process replaced them; a write
// replaces the changed file atomically (a temporary file renamed over it, its mode kept). While a
// transaction runs, the prefix folder is flock()ed, shared for reads and exclusively for writes, so
// Stowline and its stowline-regedit children take turns. Nothing is opened or written while a
// wineserver of the prefix runs: Wine writes its own copy back when it ends.
class WineRegistry final : public Registry {
public:
    // Throws RegistryError naming the folder or file: no such folder, not a Wine prefix, a file
    // Wine would not have written, a wineserver running for it.
    explicit WineRegistry(const QString& prefix);
    ~WineRegistry() override;

    const QString& prefix() const { return m_prefix; }
    QString description() const override;

    bool keyExists(Hive hive, const QString& path) override;
    void createKey(Hive hive, const QString& path) override;
    void deleteKey(Hive hive, const QString& path) override;
    QStringList subKeys(Hive hive, const QString& path) override;
    int subKeyCount(Hive hive, const QString& path) override;
    std::optional<RegistryValue> value(Hive hive, const QString& path, const QString& name) override;
    QList<RegistryValue> values(Hive hive, const QString& path) override;
    int valueCount(Hive hive, const QString& path) override;
    void setValue(Hive hive, const QString& path, const RegistryValue& value) override;
    bool deleteValue(Hive hive, const QString& path, const QString& name) override;
    void write(const std::function<void()>& work) override;
    void read(const std::function<void()>& work) override;

private:
    struct Stamp {
        dev_t device = 0;
        ino_t inode = 0;
        off_t size = 0;
        qint64 modifiedNs = 0;
        bool operator==(const Stamp&) const = default;
    };
    struct File {
        QString name;
        WineRegistryFile content;
        Stamp stamp;
    };

    File& file(Hive hive) { return hive == Hive::CurrentUser ? m_user : m_system; }
    void load(File& file);
    void reloadChanged();
    void save(File& file);
    void transaction(int lockOperation, bool writing, const std::function<void()>& work);
    template <class Work> auto autoWrite(Work&& work);
    template <class Work> auto autoRead(Work&& work);

    QString m_prefix;
    int m_folderFd = -1;
    File m_user;
    File m_system;
    int m_depth = 0;
    std::recursive_mutex m_mutex;
};

// Whether a wineserver runs for the prefix, with a line saying which; std::nullopt when none does.
// Two independent signs, either suffices: the server's lock file held (found through the socket
// folder, /tmp/.wine-<uid>/server-<dev>-<inode>/lock upstream, or the folder named in the
// prefix's "wineserver" file under $TMPDIR or /tmp as Debian's Wine keeps it), and a process of
// this user named wineserver* that holds the prefix folder open.
std::optional<QString> runningWineServer(const QString& prefix);

} // namespace stowline::platform
