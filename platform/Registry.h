#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <stdexcept>
#include <type_traits>

namespace stowline::platform {

// A registry that cannot be opened, read or written. The message is one line and names the file.
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

// How data is handed over, per type, whatever the registry keeps underneath: REG_SZ and
// REG_EXPAND_SZ as the UTF-8 text without a terminator; REG_MULTI_SZ as UTF-8 strings each ended
// by a NUL, plus a final NUL; REG_DWORD and REG_QWORD as little-endian bytes; everything else as
// the bytes given.
struct RegistryValue {
    QString name; // "" is the key's default value
    quint32 type = RegType::Sz;
    QByteArray data;
    bool operator==(const RegistryValue&) const = default;
};

// Windows' own limits: a key at most 512 levels below its hive, key names of at most 255 and value
// names of at most 16,383 UTF-16 code units. Nothing beyond them can exist there.
constexpr int MaxKeyDepth = 512;
constexpr int MaxKeyNameLength = 255;
constexpr int MaxValueNameLength = 16383;
// Why a key path (below its hive) or a value name breaks those limits; nullopt when it does not.
std::optional<QString> keyPathBeyondLimits(QStringView path);
std::optional<QString> valueNameBeyondLimits(QStringView name);

// "HKEY_CURRENT_USER" / "HKCU" and "HKEY_LOCAL_MACHINE" / "HKLM", any letter case.
std::optional<Hive> hiveFromName(const QString& name);
QString hiveName(Hive hive);
bool isTextType(quint32 type);
// Text from 8-bit bytes: UTF-8 when the bytes are valid UTF-8, else Windows-1252.
QString decodeAnsiText(const QByteArray& bytes);

// A registry with the hives HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE: Stowline's own store
// (RegistryStore), a Wine prefix's user.reg and system.reg (WineRegistry) or the NTUSER.DAT of an
// offline Windows profile (HiveRegistry). Key paths are separated by '\' and relative to the hive
// ("" is the hive itself). Names compare case-insensitively and keep the case they were created
// with. Every change is committed before the call returns, unless it runs inside write(). Failures
// throw RegistryError.
class Registry {
public:
    virtual ~Registry() = default;
    Registry() = default;
    Registry(const Registry&) = delete;
    Registry& operator=(const Registry&) = delete;

    virtual bool keyExists(Hive hive, const QString& path) = 0;
    // Creates the key and any missing parents; harmless when it exists.
    virtual void createKey(Hive hive, const QString& path) = 0;
    // Removes the key with all subkeys and values; harmless when it is missing. A hive stays.
    virtual void deleteKey(Hive hive, const QString& path) = 0;
    // Direct subkeys in registry order (by upper-case names); empty when the key is missing.
    virtual QStringList subKeys(Hive hive, const QString& path) = 0;
    virtual int subKeyCount(Hive hive, const QString& path) = 0;

    virtual std::optional<RegistryValue> value(Hive hive, const QString& path, const QString& name) = 0;
    // All values in their stored order; empty when the key is missing.
    virtual QList<RegistryValue> values(Hive hive, const QString& path) = 0;
    virtual int valueCount(Hive hive, const QString& path) = 0;
    // Creates the key when missing; a replaced value keeps its place in the order.
    virtual void setValue(Hive hive, const QString& path, const RegistryValue& value) = 0;
    // Returns whether there was such a value.
    virtual bool deleteValue(Hive hive, const QString& path, const QString& name) = 0;

    // Runs work as one transaction: all of its changes are committed together, or none when it
    // throws. A read() sees one consistent state while other processes write.
    virtual void write(const std::function<void()>& work) = 0;
    virtual void read(const std::function<void()>& work) = 0;

    // One line for people: what this registry is and where it lives.
    virtual QString description() const = 0;
    // False when changes stay inside this process (an offline hive, which is never written): a
    // child process opening the same source would not see them.
    virtual bool sharedWithOtherProcesses() const { return true; }
    // False when nothing written here reaches a file (an offline hive).
    virtual bool persistent() const { return true; }
};

// Runs work through transaction (a read or a write) and hands back what work returned.
template <class Transaction, class Work> auto returnedBy(Transaction&& transaction, Work&& work) {
    using Result = decltype(work());
    if constexpr (std::is_void_v<Result>) {
        transaction(std::function<void()>(work));
    } else {
        Result result{};
        transaction([&] { result = work(); });
        return result;
    }
}

// The registry order of subkey names: by their upper-case forms, code unit by code unit.
bool subKeyLess(const QString& a, const QString& b);

} // namespace stowline::platform
