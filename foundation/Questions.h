#pragma once

#include <QString>

namespace stowline {

// What the engines tell or ask the person, by what it means. Texts arrive composed from the string
// table and are shown exactly as given; the windows choose buttons, icon and title.
class Questions {
public:
    // Something the person reads and acknowledges.
    enum class Notice {
        BackupFailed,            // the backup could not be written where asked
        KeyNotExported,          // a registry key of the backup could not be exported
        RestoreStopped,          // a restore stopped part-way and put back what it had changed
        Refused,                 // an archive member a restore will not write
        WorkspaceNotPrivate,     // the temporary folder is not this user's alone
        ProfileReadOnly,         // the offline profile a restore would write keeps nothing
        FolderRequired,          // a restore cannot go on until a folder is chosen
        IdentityLocationMissing, // an identity's recorded store folder cannot be used
        AddressBookLocationMissing,
    };

    virtual ~Questions() = default;
    virtual void tell(Notice notice, const QString& text) = 0;
    // The name for an identity whose name another one has; "" when none is given.
    virtual QString newName(const QString& prompt) = 0;
    // A folder to use instead of one that cannot be; "" when none is chosen.
    virtual QString newFolder() = 0;
    // Whether favorites that could not be replaced are added to instead.
    virtual bool addInstead() = 0;
    // Whether to try a drive again after the problem the text names.
    virtual bool tryAgain(const QString& text) = 0;
};

} // namespace stowline
