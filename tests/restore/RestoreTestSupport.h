#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

namespace stowline::test {

using ZipMembers = QList<QPair<QString, QByteArray>>; // name as stored, content

// A zip written with libzip as it comes, whatever its member names.
QByteArray zipBytes(const ZipMembers& members);
void writeZip(const QString& path, const ZipMembers& members, const QString& comment = {});

// A backup archive put together member by member, as a hostile or foreign writer could.
class ArchiveBuilder {
public:
    // Registry text is the body of a REGEDIT4 file (its header is added). The store is a zip's
    // bytes; by default one holding Inbox.dbx.
    ArchiveBuilder& identity(const QString& id, const QString& name, const QString& regBody,
                             const QByteArray& storeZip = {});
    ArchiveBuilder& favorites(const ZipMembers& files);
    ArchiveBuilder& addressBook(const QString& regBody, const ZipMembers& files);
    ArchiveBuilder& member(const QString& name, const QByteArray& content);
    // Writes the archive with the item flags of what was added.
    QString write(const QString& path) const;

private:
    ZipMembers m_members;
    QByteArray m_index;
    QString m_flags = QStringLiteral("000");
};

// A REGEDIT4 body for an identity: its key with "Username" and its "Store Root".
QString identityReg(const QString& id, const QString& name, const QString& storeRoot);
QString addressBookReg(const QString& wabFile);
QString regString(const QString& text); // quoted and escaped as regedit writes it

// Walks the Restore Wizard through its real pages: items to leave unchecked on the first page,
// identity lines to check, add instead of replace. Returns false when a page did not show.
struct WizardWalk {
    QList<int> uncheckItems;
    QList<int> identityLines;
    bool addFavorites = false;
};
bool walkRestoreWizard(const QString& archive, const WizardWalk& walk);

// HKEY_CURRENT_USER key exported as REGEDIT4 text, "" when missing.
QByteArray exportKey(const QString& keyName);
QString readRegText(const QString& key, const QString& valueName);
// Every file below folder, relative name -> content.
QMap<QString, QByteArray> folderContents(const QString& folder);

} // namespace stowline::test
