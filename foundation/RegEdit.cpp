#include "foundation/RegEdit.h"

#include "foundation/modError.h"
#include "platform/RegistryStore.h"

#include <QtEndian>
#include <limits>

namespace stowline {

namespace {

using platform::Hive;
using platform::Registry;
using platform::RegistryValue;
namespace RegType = platform::RegType;

[[noreturn]] void raiseInvalidCall() { Raise(Err::InvalidCall); }
[[noreturn]] void raiseTypeMismatch() { Raise(Err::TypeMismatch); }
[[noreturn]] void raiseOverflow() { Raise(Err::Overflow); }

Hive hiveOf(qint32 rootKey) {
    if (rootKey == RegEdit::HKEY_CURRENT_USER)
        return Hive::CurrentUser;
    if (rootKey == RegEdit::HKEY_LOCAL_MACHINE)
        return Hive::LocalMachine;
    raiseInvalidCall();
}

// Every store call goes through here, so a store failure reaches the caller's trap as a VbError.
template <class Work> auto onStore(Work&& work) {
    try {
        return work(platform::registry());
    } catch (const platform::RegistryError& error) {
        throw VbError(Err::DeviceIO, error.message());
    }
}

template <class Int> QByteArray littleEndian(Int number) {
    QByteArray bytes(sizeof(Int), Qt::Uninitialized);
    qToLittleEndian(number, bytes.data());
    return bytes;
}

QStringList multiStrings(const QByteArray& data) {
    QStringList strings;
    for (const QByteArray& part : data.split('\0')) {
        if (part.isEmpty())
            break;
        strings << QString::fromUtf8(part);
    }
    return strings;
}

QVariant variantOf(const RegistryValue& value) {
    switch (value.type) {
    case RegType::Sz:
    case RegType::ExpandSz:
        return QString::fromUtf8(value.data);
    case RegType::MultiSz:
        return multiStrings(value.data);
    case RegType::Dword:
        if (value.data.size() == 4)
            return qint64(qFromLittleEndian<quint32>(value.data.constData()));
        break;
    case RegType::Qword:
        if (value.data.size() == 8)
            return qFromLittleEndian<quint64>(value.data.constData());
        break;
    }
    return QString::fromLatin1(value.data.toHex().toUpper());
}

QByteArray bytesFromHexText(const QString& digits) {
    if (digits.size() % 2 != 0)
        raiseTypeMismatch();
    for (const QChar c : digits) {
        if (!isxdigit(c.unicode()) || c.unicode() > 0x7f)
            raiseTypeMismatch();
    }
    return QByteArray::fromHex(digits.toLatin1());
}

QByteArray dwordFrom(const QVariant& value) {
    bool ok = false;
    const qint64 number = value.toLongLong(&ok);
    if (!ok)
        raiseTypeMismatch();
    if (number < std::numeric_limits<qint32>::min() || number > std::numeric_limits<quint32>::max())
        raiseOverflow();
    return littleEndian(quint32(number));
}

QByteArray qwordFrom(const QVariant& value) {
    bool ok = false;
    if (value.typeId() == QMetaType::ULongLong)
        return littleEndian(value.toULongLong());
    const qint64 number = value.toLongLong(&ok);
    if (!ok)
        raiseTypeMismatch();
    return littleEndian(quint64(number));
}

QByteArray multiStringData(const QStringList& strings) {
    QByteArray data;
    for (const QString& s : strings) {
        if (!s.isEmpty())
            data += s.toUtf8() + '\0';
    }
    return data + '\0';
}

QByteArray dataFor(qint32 type, const QVariant& value) {
    switch (type) {
    case RegType::Sz:
    case RegType::ExpandSz:
        return value.toString().toUtf8();
    case RegType::MultiSz:
        return multiStringData(value.toStringList());
    case RegType::None:
    case RegType::Binary:
        return bytesFromHexText(value.toString());
    case RegType::Dword:
        return dwordFrom(value);
    case RegType::Qword:
        return qwordFrom(value);
    default:
        raiseInvalidCall();
    }
}

} // namespace

bool RegEdit::Exists(int kind) {
    const Hive hive = hiveOf(RootKey);
    if (kind == 1)
        return onStore([&](Registry& store) { return store.keyExists(hive, KeyPath); });
    if (kind == 0)
        return onStore([&](Registry& store) { return store.value(hive, KeyPath, ValueName).has_value(); });
    raiseInvalidCall();
}

void RegEdit::ReadValue() {
    const Hive hive = hiveOf(RootKey);
    const auto found = onStore([&](Registry& store) { return store.value(hive, KeyPath, ValueName); });
    if (!found)
        raiseInvalidCall();
    Value = variantOf(*found);
}

void RegEdit::WriteValue(int option) {
    const Hive hive = hiveOf(RootKey);
    if (option != 0)
        raiseInvalidCall();
    const RegistryValue value{ValueName, quint32(ValueType), dataFor(ValueType, Value)};
    onStore([&](Registry& store) { store.setValue(hive, KeyPath, value); });
}

void RegEdit::DeleteValue() {
    const Hive hive = hiveOf(RootKey);
    onStore([&](Registry& store) { store.deleteValue(hive, KeyPath, ValueName); });
}

void RegEdit::CreateKey() {
    const Hive hive = hiveOf(RootKey);
    onStore([&](Registry& store) { store.createKey(hive, KeyPath); });
}

void RegEdit::DeleteKey() {
    const Hive hive = hiveOf(RootKey);
    if (KeyPath.split(QLatin1Char('\\'), Qt::SkipEmptyParts).isEmpty())
        raiseInvalidCall(); // a hive itself cannot go
    onStore([&](Registry& store) { store.deleteKey(hive, KeyPath); });
}

QStringList RegEdit::GetSubKeys() {
    const Hive hive = hiveOf(RootKey);
    return onStore([&](Registry& store) { return store.subKeys(hive, KeyPath); });
}

int RegEdit::CountEntries(int kind) {
    const Hive hive = hiveOf(RootKey);
    if (kind == 1)
        return onStore([&](Registry& store) { return store.subKeyCount(hive, KeyPath); });
    if (kind == 0)
        return onStore([&](Registry& store) { return store.valueCount(hive, KeyPath); });
    raiseInvalidCall();
}

RegValueList RegEdit::GetValues() {
    const Hive hive = hiveOf(RootKey);
    const QList<RegistryValue> stored = onStore([&](Registry& store) { return store.values(hive, KeyPath); });
    RegValueList list;
    list.reserve(stored.size());
    for (const RegistryValue& value : stored)
        list.append(RegValue{value.name, int(value.type), value.data});
    return list;
}

void RegEdit::PutValues(const RegValueList& values) {
    const Hive hive = hiveOf(RootKey);
    for (const RegValue& value : values) {
        if (value.type < 0)
            raiseInvalidCall();
    }
    onStore([&](Registry& store) {
        store.write([&] {
            store.createKey(hive, KeyPath);
            for (const RegValue& value : values)
                store.setValue(hive, KeyPath, RegistryValue{value.name, quint32(value.type), value.data});
        });
    });
}

void RegEdit::CreateSubKeys(const QStringList& names) {
    const Hive hive = hiveOf(RootKey);
    onStore([&](Registry& store) {
        store.write([&] {
            store.createKey(hive, KeyPath);
            for (const QString& name : names)
                store.createKey(hive, KeyPath + QLatin1Char('\\') + name);
        });
    });
}

namespace {
RegEdit g_regAccess;
RegEdit g_regCopy;
RegEdit g_regTemp;
} // namespace

void RegInOneCommit(const std::function<void()>& work) {
    onStore([&](platform::Registry& registry) { registry.write(work); });
}

RegEdit& regAccess() { return g_regAccess; }
RegEdit& regCopy() { return g_regCopy; }
RegEdit& RegTemp() { return g_regTemp; }

void resetRegistryInstances() {
    g_regAccess = RegEdit();
    g_regCopy = RegEdit();
    g_regTemp = RegEdit();
}

} // namespace stowline
