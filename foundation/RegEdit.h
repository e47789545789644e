#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <functional>

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
// one method. Every method throws VbError on failure: 5 for a bad argument or reading a missing value,
// 13 for a Value that does not fit ValueType, 57 with the store's message when the store fails.
// Absence is found only through Exists: a missing key reads as empty (no subkeys, no values),
// deleting what is missing does nothing, and writing a value creates its key.
//
// Value as ReadValue sets it, by stored type: REG_SZ and REG_EXPAND_SZ a QString (not expanded),
// REG_DWORD a qint64 from 0 to 4294967295, REG_QWORD a quint64, REG_MULTI_SZ a QStringList, anything
// else upper-case hex digits, two per byte in stored order. WriteValue takes the same forms for
// ValueType 1, 2, 4, 11 and 7, and hex digits (either case) for 3 and 0; a DWORD may also be given
// as a negative 32-bit number.
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

// Runs work, whose registry calls then share one commit (one sync of the store instead of one per
// change); a store failure throws VbError 57 as a method's does.
void RegInOneCommit(const std::function<void()>& work);

// The three program-wide cursors. They start fresh after resetRegistryInstances(), called when a
// flow of windows ends.
RegEdit& regAccess();
RegEdit& regCopy();
RegEdit& RegTemp();
void resetRegistryInstances();

} // namespace stowline
