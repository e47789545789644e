#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <mutex>
#include <optional>
#include <stdexcept>

struct sqlite3;

namespace stowline::platform {

// The registry store: hives HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE in one SQLite file,
// $STOWLINE_REGISTRY when set, else $XDG_DATA_HOME/stowline/registry.db.
class RegistryError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
    QString message() const { return QString::fromUtf8(what()); }
};

enum class Hive { CurrentUser, LocalMachine };

// Value types as the registry numbers them. Any other number is kept as raw bytes too.
namespace RegType {
constexpr quint32 None = 0;
constexpr quint32 Sz = 1;
constexpr quint32 ExpandSz = 2;
constexpr quint32 Binary = 3;
constexpr quint32 Dword = 4;
constexpr quint32 MultiSz = 7;
constexpr quint32 Qword = 11;
} // namespace RegType

// How data is held, per type: REG_SZ and REG_EXPAND_SZ as the UTF-8 text without a terminator;
// REG_MULTI_SZ as UTF-8 strings each ended by a NUL, plus a final NUL; REG_DWORD and REG_QWORD as
// little-endian bytes; everything else as the bytes given.
struct RegistryValue {
    QString name; // "" is the key's default value
    quint32 type = RegType::Sz;
    QByteArray data;
    bool operator==(const RegistryValue&) const = default;
};

// "HKEY_CURRENT_USER" / "HKCU" and "HKEY_LOCAL_MACHINE" / "HKLM", any letter case.
std::optional<Hive> hiveFromName(const QString& name);
QString hiveName(Hive hive);
bool isTextType(quint32 type);
// Text from 8-bit bytes: UTF-8 when the bytes are valid UTF-8, else Windows-1252.
QString decodeAnsiText(const QByteArray& bytes);

// One open store file. Key paths are separated by '\' and relative to the hive ("" is the hive
// itself). Names compare case-insensitively and keep the case they were created with. Every
// change is committed before the call returns, unless it runs inside write(). Every transaction
// holds a lock on the file that other processes (stowline-regedit) respect, so the store is safe
// with several of them open at once; the file is kept readable by its owner only.
class RegistryStore {
public:
    // Opens the file, creating a fresh store when it is missing or empty. Throws RegistryError
    // naming the file when it is anything else than a registry store; such a file is not touched.
    explicit RegistryStore(const QString& fileName);
    ~RegistryStore();
    RegistryStore(const RegistryStore&) = delete;
    RegistryStore& operator=(const RegistryStore&) = delete;

    const QString& fileName() const { return m_fileName; }

    bool keyExists(Hive hive, const QString& path);
    // Creates the key and any missing parents; harmless when it exists.
    void createKey(Hive hive, const QString& path);
    // Removes the key with all subkeys and values; harmless when it is missing. A hive stays.
    void deleteKey(Hive hive, const QString& path);
    // Direct subkeys in case-insensitive alphabetical order; empty when the key is missing.
    QStringList subKeys(Hive hive, const QString& path);
    int subKeyCount(Hive hive, const QString& path);

    std::optional<RegistryValue> value(Hive hive, const QString& path, const QString& name);
    // All values in the order they were created; empty when the key is missing.
    QList<RegistryValue> values(Hive hive, const QString& path);
    int valueCount(Hive hive, const QString& path);
    // Creates the key when missing; a replaced value keeps its place in the order.
    void setValue(Hive hive, const QString& path, const RegistryValue& value);
    // Returns whether there was such a value.
    bool deleteValue(Hive hive, const QString& path, const QString& name);

    // Runs work as one transaction: all of its changes are committed together, or none when it
    // throws. A read() sees one consistent state of the file while others write.
    void write(const std::function<void()>& work);
    void read(const std::function<void()>& work);

private:
    class Statement;
    class FileLock {
    public:
        FileLock(const RegistryStore& store, int operation);
        ~FileLock();
        FileLock(const FileLock&) = delete;
        FileLock& operator=(const FileLock&) = delete;

    private:
        int m_fd;
    };
    void open();
    void createFresh();
    void initializeSchema();
    void checkHeader() const;
    void checkSchema();
    QString describe(const QString& what) const;
    [[noreturn]] void fail(const QString& what) const;
    void exec(const char* sql);
    void transaction(const char* begin, int lockOperation, const std::function<void()>& work);
    void openLockHandle();
    template <class Work> auto autoWrite(Work&& work);
    template <class Work> auto autoRead(Work&& work);
    std::optional<qint64> findKey(Hive hive, const QString& path);
    qint64 makeKey(Hive hive, const QString& path);

    QString m_fileName;
    sqlite3* m_db = nullptr;
    int m_lockFd = -1;
    int m_depth = 0;
    std::recursive_mutex m_mutex; // one connection, used from the UI thread and a run's worker
};

// The store of this process, opened on first use; throws RegistryError naming the file when it is
// not a readable registry store (the file is then left untouched).
RegistryStore& registry();
// Closes the store; the next registry() opens it anew from the environment (tests switch files).
void reopenRegistry();
// The file registry() opens: $STOWLINE_REGISTRY, else $XDG_DATA_HOME/stowline/registry.db.
QString registryFileName();

} // namespace stowline::platform
