#pragma once

#include <QList>
#include <QMap>
#include <QPair>
#include <QString>
#include <optional>

namespace stowline::platform {

// Turns the paths a registry records (store folders, the address book file, shell folders) into
// paths on this machine and back. The store records Linux paths, which pass as they are. A Wine
// prefix or a Windows disk records Windows paths: a drive letter is looked up in the drive table
// (a Wine prefix's dosdevices links, or C: for the mount root of a Windows disk), %NAME%
// references are expanded from the variables first, and every part of the path is matched
// without letter case against what is on disk, as Windows would. A path on a drive that is not in
// the table, an unknown %NAME% or a network path maps to nothing: never to a guess.
class PathMapper {
public:
    // Linux paths as recorded.
    static PathMapper native();
    PathMapper() = default;

    void addDrive(QChar letter, const QString& folder);
    // A variable's value is itself a recorded path or text (USERPROFILE = C:\users\bob).
    void setVariable(const QString& name, const QString& value);

    bool isNative() const { return m_native; }
    const QMap<QChar, QString>& drives() const { return m_drives; }

    std::optional<QString> toLocal(const QString& recorded) const;
    std::optional<QString> toRecorded(const QString& local) const;
    // "C: = /home/bob/.wine/drive_c, Z: = /"; "" for the native mapper.
    QString driveList() const;

private:
    std::optional<QString> expand(const QString& recorded) const;

    bool m_native = false;
    QMap<QChar, QString> m_drives;      // upper-case letter -> folder
    QMap<QString, QString> m_variables; // upper-case name -> value
};

} // namespace stowline::platform
