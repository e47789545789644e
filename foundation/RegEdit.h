#pragma once
// TEAM NOTE (temporary, remove when done): before you write code, read /work/helper-rules.md: its rules bind every developer.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

namespace stowline {

// One registry value as GetValues hands it to PutValues: name, type and the stored bytes.
struct RegValue {
    QString name;
    int type = 1;
    QByteArray data;
    bool operator==(const RegValue&) const = default;
};
using RegValueList = QList<RegValue>;

// The registry component: a stateful cursor over the registry store. Set the properties, then call
// one method. Every method throws VbError on failure; absence is found only through Exists.
class RegEdit {
public:
    static constexpr qint32 HKEY_CURRENT_USER = qint32(0x80000001);
    static constexpr qint32 HKEY_LOCAL_MACHINE = qint32(0x80000002);

    qint32 RootKey = HKEY_CURRENT_USER;
    QString KeyPath;
    QString ValueName;
    qint32 ValueType = 1;
    // A string for text, a number for a DWORD, hex digits (two per byte) for binary data.
    QVariant Value;

    bool Exists(int kind); // 1: KeyPath exists; 0: ValueName exists under KeyPath
    void ReadValue();
    void WriteValue(int option = 0);
    void DeleteValue();
    void CreateKey();
    void DeleteKey();
    QStringList GetSubKeys();
    int CountEntries(int kind); // 1: subkeys, 0: values
    RegValueList GetValues();
    void PutValues(const RegValueList& values);
    void CreateSubKeys(const QStringList& names);
};

// The three program-wide instances that live on the hidden host window. They start fresh after
// resetRegistryInstances(), which the host window calls when it is unloaded.
RegEdit& regAccess();
RegEdit& regCopy();
RegEdit& RegTemp();
void resetRegistryInstances();

} // namespace stowline
