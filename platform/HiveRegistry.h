#pragma once

#include "platform/PathMapper.h"
#include "platform/RegistryTree.h"

#include <mutex>

namespace stowline::platform {

// The NTUSER.DAT hive of an offline Windows profile as HKEY_CURRENT_USER, read through hivex when
// opened; HKEY_LOCAL_MACHINE is empty. The hive is never written: changes (a backup sets keys
// aside for a moment) stay in this process, and a restore into it is refused by its callers
// through persistent(). C:\ stands for the Windows root folder given.
class HiveRegistry final : public Registry {
public:
    // Throws RegistryError naming the file: missing, unreadable, not a registry hive.
    HiveRegistry(const QString& hiveFile, const QString& windowsRoot);

    QString description() const override;
    bool sharedWithOtherProcesses() const override { return false; }
    bool persistent() const override { return false; }
    PathMapper pathMapper();

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
    TreeHive& tree(Hive hive) { return hive == Hive::CurrentUser ? m_user : m_machine; }

    QString m_file;
    QString m_windowsRoot;
    TreeHive m_user;
    TreeHive m_machine;
    std::recursive_mutex m_mutex;
};

} // namespace stowline::platform
