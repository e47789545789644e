#include "restore/RestoreGuard.h"

#include "archive/ZipExtractor.h"
#include "archive/ZipLibzip.h"
#include "foundation/Questions.h"
#include "foundation/RegFile.h"
#include "foundation/StringIds.h"
#include "foundation/Strings.h"
#include "foundation/modDiskSpace.h"
#include "foundation/modFolder.h"
#include "foundation/modGlobal.h"
#include "platform/Paths.h"
#include "platform/Platform.h"
#include "platform/RegistrySource.h"
#include "platform/RunLedger.h"
#include "restore/RestoreSteps.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <algorithm>

namespace stowline {

namespace {

bool namesSystemFolder(const QString& cleanPath) {
    static const QStringList tops{QStringLiteral("bin"),  QStringLiteral("boot"), QStringLiteral("dev"),
                                  QStringLiteral("etc"),  QStringLiteral("proc"), QStringLiteral("run"),
                                  QStringLiteral("sbin"), QStringLiteral("sys"),  QStringLiteral("usr"),
                                  QStringLiteral("var")};
    if (cleanPath == u"/")
        return true;
    const QString top = cleanPath.section(u'/', 1, 1);
    return top.startsWith(QStringLiteral("lib")) || tops.contains(top);
}

bool hasControlCharacters(const QString& name) {
    return std::any_of(name.begin(), name.end(), [](QChar c) { return c < u' ' || c == u'\x7f'; });
}

// A name as it can be shown in one line of a message: control characters as \xNN.
QString shownName(const QString& name) {
    QString shown;
    for (QChar c : name)
        shown += c < u' ' || c == u'\x7f' ? QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'))
                                          : QString(c);
    return shown;
}

Refusal memberRefusal(const ZipMemberEntry& member) {
    if (hasControlCharacters(member.name))
        return {txtReasonControlCharacters, shownName(member.name)};
    // Relative, no drive, no "..": it stays inside the folder it is unpacked into.
    if (member.name.isEmpty() || !SafeMemberPath(member.name))
        return {txtReasonOutsideFolder, member.name};
    if (member.symbolicLink)
        return {txtReasonSymbolicLink, member.name};
    // A dot file or folder (~/.bashrc, ~/.ssh/...) is never an item's own.
    const QStringList parts = QString(member.name).replace(u'\\', u'/').split(u'/', Qt::SkipEmptyParts);
    if (std::any_of(parts.begin(), parts.end(),
                    [](const QString& part) { return part.startsWith(u'.') && part != u"."; }))
        return {txtReasonHiddenFile, member.name};
    return {};
}

bool within(const QString& path, const QString& folder) {
    return path == folder || folder == u"/" || path.startsWith(folder + u'/');
}

// A part below the drive folders of the registry in use starts with '.': the drives of a Wine
// prefix lie in a hidden folder themselves.
bool insideHiddenFolder(const QString& cleanPath) {
    QString drive;
    for (const QString& folder : platform::pathMapper().drives()) {
        const QString clean = QDir::cleanPath(folder);
        if (within(cleanPath, clean) && clean.size() > drive.size())
            drive = clean;
    }
    const QStringList parts = cleanPath.mid(drive.size()).split(u'/', Qt::SkipEmptyParts);
    return std::any_of(parts.begin(), parts.end(), [](const QString& part) { return part.startsWith(u'.'); });
}

bool insideAnotherHome(const QString& cleanPath) {
    const QString ownHome = QDir::cleanPath(QDir::homePath());
    if (within(cleanPath, ownHome))
        return false;
    const QStringList homes = platform::otherUsersHomes();
    return std::any_of(homes.begin(), homes.end(),
                       [&](const QString& home) { return within(cleanPath, home); });
}

// The places Stowline keeps for itself: its state folder (the undo journal in it) and the workspace
// with all below them, and the folder that holds the registry (beside the store, or a Wine prefix
// itself; its drives are below). Written into, an archive could plant a journal that an undo then
// acts on, or a file beside the store.
bool ownPlace(const QString& cleanPath) {
    const platform::RegistrySource source = platform::registrySource();
    const QString registryFolder = source.kind == platform::RegistrySource::Kind::WinePrefix
                                       ? source.location
                                       : QFileInfo(source.location).path();
    const auto both = [](const QString& folder) {
        return QStringList{QDir::cleanPath(folder), platform::resolvedPath(QDir::cleanPath(folder))};
    };
    const QStringList trees = both(QFileInfo(platform::runLedgerPath()).path()) + both(WorkspaceFolder());
    const QStringList folders = registryFolder.isEmpty() ? QStringList() : both(registryFolder);
    return std::any_of(trees.begin(), trees.end(),
                       [&](const QString& tree) { return within(cleanPath, tree); }) ||
           folders.contains(cleanPath);
}

// Every part of the path that exists is a folder, so what is missing can be made.
bool folderOrCanBeOne(const QString& cleanPath) {
    for (QString path = cleanPath;; path = QFileInfo(path).path()) {
        const QFileInfo info(path);
        if (info.exists())
            return info.isDir();
        if (path == u"/")
            return false;
    }
}

bool confined(const QString& cleanPath, const QStringList& otherItems) {
    if (cleanPath == QDir::cleanPath(QDir::homePath()) || insideHiddenFolder(cleanPath) ||
        insideAnotherHome(cleanPath))
        return false;
    return std::none_of(otherItems.begin(), otherItems.end(), [&](const QString& other) {
        const QString clean = QDir::cleanPath(other);
        return !other.isEmpty() && (within(cleanPath, clean) || within(clean, cleanPath));
    });
}

// At or below the allowed key, compared as the registry compares names; no empty, "." or ".."
// parts that a store might read differently from this check.
bool keyConfined(const RegFileOp& op, const QStringList& allowed) {
    if (op.hive != platform::Hive::CurrentUser)
        return false;
    const QStringList parts = op.path.split(u'\\');
    if (parts.size() < allowed.size())
        return false;
    for (qsizetype i = 0; i < parts.size(); ++i) {
        const QString& part = parts[i];
        if (part.isEmpty() || part == u"." || part == u"..")
            return false;
        if (i < allowed.size() && part.compare(allowed[i], Qt::CaseInsensitive) != 0)
            return false;
    }
    return true;
}

QString fullKeyName(const RegFileOp& op) {
    const QString hive = op.hive == platform::Hive::CurrentUser ? QStringLiteral("HKEY_CURRENT_USER")
                                                                : QStringLiteral("HKEY_LOCAL_MACHINE");
    return (op.kind == RegFileOp::DeleteKey ? QStringLiteral("-") : QString()) + hive + u'\\' + op.path;
}

} // namespace

bool IsIdentityId(const QString& text) {
    static const QRegularExpression guid(QStringLiteral(
        "^\\{[0-9A-Fa-f]{8}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{12}\\}$"));
    return text.size() == 38 && guid.match(text).hasMatch();
}

bool IsSystemFolder(const QString& folder) {
    if (!folder.startsWith(u'/'))
        return false;
    const QString clean = QDir::cleanPath(folder);
    return namesSystemFolder(clean) || namesSystemFolder(platform::resolvedPath(clean));
}

bool RecordedLocationUsable(const QString& folder, const QStringList& otherItems) {
    const QString clean = QDir::cleanPath(folder);
    return LocationUsable(folder) && confined(clean, otherItems) &&
           confined(platform::resolvedPath(clean), otherItems);
}

bool LocationUsable(const QString& folder) {
    if (!folder.startsWith(u'/') || IsSystemFolder(folder) || ownPlace(QDir::cleanPath(folder)) ||
        ownPlace(platform::resolvedPath(QDir::cleanPath(folder))) ||
        !folderOrCanBeOne(QDir::cleanPath(folder)))
        return false;
    platform::Drives& drives = platform::drives();
    const QString drive = drives.driveName(folder);
    return drives.exists(drive) && drives.isReady(drive) && GetFreeDiskSpace(folder) != 0;
}

QString AskForLocation(Questions& ask) {
    QString chosen = Input_Path(ask);
    StopIfFailureReported();
    while (chosen.isEmpty()) {
        ask.tell(Questions::Notice::FolderRequired, Str(txtMustSelectLocation));
        chosen = Input_Path(ask);
        StopIfFailureReported();
    }
    return chosen;
}

Refusal CheckRegFile(const QString& regFile, const QString& allowedKey) {
    QFile file(regFile);
    if (!file.open(QIODevice::ReadOnly))
        return {txtReasonMissingOrDamaged, QFileInfo(regFile).fileName()};
    const auto split = splitKeyName(allowedKey);
    if (!split)
        return {txtReasonForeignKey, allowedKey};
    const QStringList allowed = split->second.split(u'\\');
    Refusal refusal;
    try {
        parseRegFile(file, [&](const RegFileOp& op) {
            if (!refusal.refused() && !keyConfined(op, allowed))
                refusal = {txtReasonForeignKey, fullKeyName(op)};
        });
    } catch (const RegFileError& error) {
        return {txtReasonUnreadableRegFile, error.message()};
    }
    return refusal;
}

namespace {

Refusal checkZipFile(const QString& zipFile, const QString& member, QStringList* names) {
    const QString fileName = QFileInfo(member.isEmpty() ? zipFile : member).fileName();
    if (!QFileInfo(zipFile).isFile())
        return {txtReasonMissingOrDamaged, fileName};
    const std::optional<QList<ZipMemberEntry>> members =
        member.isEmpty() ? ZipMemberEntries(zipFile) : InnerZipMemberEntries(zipFile, member);
    if (!members)
        return {txtReasonMissingOrDamaged, fileName};
    for (const ZipMemberEntry& entry : *members) {
        if (const Refusal refusal = memberRefusal(entry); refusal.refused())
            return refusal;
        if (names)
            *names << entry.name;
    }
    return {};
}

} // namespace

Refusal CheckZipFile(const QString& zipFile, const QString& member) {
    return checkZipFile(zipFile, member, nullptr);
}

Refusal CheckZipFile(ItemZip& itemZip) {
    QStringList names;
    const Refusal refusal = checkZipFile(itemZip.file, itemZip.member, &names);
    if (!refusal.refused())
        itemZip.names = std::move(names);
    return refusal;
}

void ShowRefusal(Questions& ask, const QString& header, const Refusal& refusal, int outcomeId) {
    const QString text = header + QStringLiteral("\r\r") + Str(refusal.reasonId) + u'\r' + refusal.detail +
                         QStringLiteral("\r\r") + Str(outcomeId);
    ask.tell(Questions::Notice::Refused, text);
}

} // namespace stowline
