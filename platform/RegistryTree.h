#pragma once

#include "platform/Registry.h"

#include <memory>
#include <vector>

namespace stowline::platform {

// One value as Windows keeps it: text types as UTF-16LE with their terminating NUL.
struct NativeValue {
    QString name;
    quint32 type = RegType::Sz;
    QByteArray data;
};

NativeValue toNative(const RegistryValue& value);
RegistryValue fromNative(const NativeValue& value);

// One hive held in memory, for the registries that live in files of Windows' or Wine's making.
class RegistryTree {
public:
    struct Key {
        QString name;
        QString lower; // the order Wine keeps and writes subkeys in: by lower-case names
        Key* parent = nullptr;
        std::vector<std::unique_ptr<Key>> children; // in Wine's order
        QList<NativeValue> values;                  // in stored order, once valueList() has read raw
        QByteArray raw; // value lines as a Wine file has them, read when first asked for
        static inline void (*readRaw)(Key&) = nullptr;
        quint64 modified = 0; // FILETIME of the last change
        QByteArray options;   // Wine's "#class=", "#link" and other lines, kept
        bool operator==(const Key&) const = delete;
        Key() = default;
        Key(const Key&) = delete;
        Key& operator=(const Key&) = delete;
        ~Key();

        Key* child(const QString& childName) const;
        Key* addChild(const QString& childName, quint64 when);
        int valueIndex(const QString& valueName);
        QList<NativeValue>& valueList();
        bool hasValues() const { return !values.isEmpty() || !raw.isEmpty(); }
    };

    RegistryTree();
    Key& root() { return *m_root; }
    const Key& root() const { return *m_root; }

    Key* find(const QString& path) const;
    Key& make(const QString& path, quint64 when);
    // Returns whether anything was there.
    bool remove(const QString& path);
    static QString pathOf(const Key& key);

private:
    std::unique_ptr<Key> m_root;
};

// Now as a Windows FILETIME (100 ns units since 1601).
quint64 fileTimeNow();

// The RegistryTree operations behind the Registry interface, for one hive; changed() is set by
// every change so the owner knows what to save.
class TreeHive {
public:
    RegistryTree tree;
    bool changed = false;

    bool keyExists(const QString& path) const { return tree.find(path) != nullptr; }
    void createKey(const QString& path);
    void deleteKey(const QString& path);
    QStringList subKeys(const QString& path) const;
    int subKeyCount(const QString& path) const;
    std::optional<RegistryValue> value(const QString& path, const QString& name) const;
    QList<RegistryValue> values(const QString& path) const;
    int valueCount(const QString& path) const;
    void setValue(const QString& path, const RegistryValue& value);
    bool deleteValue(const QString& path, const QString& name);
};

} // namespace stowline::platform
