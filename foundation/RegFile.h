#pragma once

#include "platform/RegistryStore.h"

#include <QIODevice>
#include <QString>
#include <functional>
#include <stdexcept>

namespace stowline {

// Registry export files as regedit reads and writes them.
enum class RegFileFormat {
    Regedit4, // "REGEDIT4": 8-bit text (UTF-8 here), text data in hex(2)/hex(7) as 8-bit bytes
    Version5  // "Windows Registry Editor Version 5.00": UTF-16LE with BOM, text data as UTF-16LE
};

// A file that cannot be read or written, or whose content is broken. The message is one line.
class RegFileError : public std::runtime_error {
public:
    explicit RegFileError(const QString& message) : std::runtime_error(message.toStdString()) {}
    QString message() const { return QString::fromUtf8(what()); }
};

// One change a registry file asks for, in file order.
struct RegFileOp {
    enum Kind { CreateKey, DeleteKey, SetValue, DeleteValue };
    Kind kind = CreateKey;
    platform::Hive hive = platform::Hive::CurrentUser;
    QString path;                  // under the hive
    platform::RegistryValue value; // SetValue; DeleteValue uses value.name
    bool operator==(const RegFileOp&) const = default;
};

// Splits "HKEY_CURRENT_USER\Software\X" (or "HKCU\...") into hive and path; nullopt for other hives.
std::optional<std::pair<platform::Hive, QString>> splitKeyName(const QString& fullName);

// Writes the key with all its subkeys, parent before children, subkeys in registry order, values in
// creation order. Throws RegFileError for a missing key or an unwritable file (no file is left
// behind then) and platform::RegistryError when the store fails.
void exportRegFile(platform::Registry& store, const QString& fileName, const QString& keyName,
                   RegFileFormat format);
// The same into an open device; an empty keyName writes both hives.
void exportRegistry(platform::Registry& store, QIODevice& out, const QString& keyName, RegFileFormat format);

using RegFileSink = std::function<void(const RegFileOp&)>;
// Told of every line an import skips: its number and why.
using RegFileReporter = std::function<void(int line, const QString& reason)>;

struct RegFileSummary {
    int skippedLines = 0;
    bool stopped = false; // a line made the import give up on the rest of the file
};

// Reads a file of either format (and the Windows 3.1 "REGEDIT" form) and hands every change to
// sink as it is read, exactly as regedit reads it. Throws RegFileError for a file without a
// registry header. The strict form also throws, naming the line, at the first line regedit would
// skip; the lenient form reports that line and reads on.
void parseRegFile(QIODevice& in, const RegFileSink& sink);
RegFileSummary parseRegFile(QIODevice& in, const RegFileSink& sink, const RegFileReporter& report);
// Imports the file leniently into the store in one transaction: every line read is committed
// together, or nothing when the file cannot be read or the store fails.
RegFileSummary importRegFile(platform::Registry& store, const QString& fileName,
                             const RegFileReporter& report);

} // namespace stowline
