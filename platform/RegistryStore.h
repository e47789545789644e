#pragma once

#include "platform/Registry.h"
#include "platform/RegistrySource.h"

#include <deque>
#include <mutex>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace stowline::platform {

// One open store file. Key paths are separated by '\' and relative to the hive ("" is the hive
// itself). Names compare case-insensitively and keep the case they were created with. Every
// change is committed before the call returns, unless it runs inside write(). Every transaction
// holds a lock on the file that other processes (stowline-regedit) respect, so the store is safe
// with several of them open at once; the file is kept readable by its owner only.
class RegistryStore final : public Registry {
public:
    // Opens the file, creating a fresh store when it is missing or empty. Throws RegistryError
    // naming the file when it is anything else than a registry store; such a file is not touched.
    explicit RegistryStore(const QString& fileName);
    ~RegistryStore() override;

    const QString& fileName() const { return m_fileName; }
    QString description() const override;

    bool keyExists(Hive hive, const QString& path) override;
    // Creates the key and any missing parents; harmless when it exists.
    void createKey(Hive hive, const QString& path) override;
    // Removes the key with all subkeys and values; harmless when it is missing. A hive stays.
    void deleteKey(Hive hive, const QString& path) override;
    // Direct subkeys in case-insensitive alphabetical order; empty when the key is missing.
    QStringList subKeys(Hive hive, const QString& path) override;
    int subKeyCount(Hive hive, const QString& path) override;

    std::optional<RegistryValue> value(Hive hive, const QString& path, const QString& name) override;
    // All values in the order they were created; empty when the key is missing.
    QList<RegistryValue> values(Hive hive, const QString& path) override;
    int valueCount(Hive hive, const QString& path) override;
    // Creates the key when missing; a replaced value keeps its place in the order.
    void setValue(Hive hive, const QString& path, const RegistryValue& value) override;
    // Returns whether there was such a value.
    bool deleteValue(Hive hive, const QString& path, const QString& name) override;

    // Runs work as one transaction: all of its changes are committed together, or none when it
    // throws. A read() sees one consistent state of the file while others write.
    void write(const std::function<void()>& work) override;
    void read(const std::function<void()>& work) override;

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

    struct FoundKeys {
        Hive hive = Hive::CurrentUser;
        QStringList parts;       // the path last found
        std::vector<qint64> ids; // the key of each of its parts
    };

    // A query a transaction prepared, kept for the next: parsing them again took most of a lookup.
    struct KeptStatement {
        const char* sql;
        sqlite3_stmt* handle;
        bool inUse;
    };
    void closeDatabase();

    QString m_fileName;
    sqlite3* m_db = nullptr;
    mutable std::deque<KeptStatement>
        m_kept; // a deque: a statement in use keeps its entry while others are added
    int m_lockFd = -1;
    int m_depth = 0;
    FoundKeys m_found;
    std::recursive_mutex m_mutex; // one connection, used from the UI thread and a run's worker
};

} // namespace stowline::platform
