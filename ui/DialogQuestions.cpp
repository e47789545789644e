#include "ui/DialogQuestions.h"

#include "foundation/StringIds.h"
#include "foundation/Strings.h"
#include "foundation/modGlobal.h"

namespace stowline {

namespace {

using platform::MsgAnswer, platform::MsgButtons, platform::MsgIcon;

struct Look {
    MsgIcon icon;
    int titleId; // 0: the application's title
};

Look lookOf(Questions::Notice notice) {
    using Notice = Questions::Notice;
    switch (notice) {
    case Notice::BackupFailed:
        return {MsgIcon::Critical, txtBackupErrorTitle};
    case Notice::KeyNotExported:
        return {MsgIcon::Critical, txtBackupTitle};
    case Notice::RestoreStopped:
        return {MsgIcon::Critical, txtRestoreStopped};
    case Notice::Refused:
        return {MsgIcon::Critical, txtRefusedTitle};
    case Notice::WorkspaceNotPrivate:
        return {MsgIcon::Critical, txtFoundationErrorTitle};
    case Notice::ProfileReadOnly:
    case Notice::FolderRequired:
        return {MsgIcon::Exclamation, 0};
    case Notice::IdentityLocationMissing:
        return {MsgIcon::Information, txtIdentityLocationTitle};
    case Notice::AddressBookLocationMissing:
        return {MsgIcon::Information, txtAddressBookLocationTitle};
    }
    return {MsgIcon::Critical, 0};
}

} // namespace

void DialogQuestions::tell(Notice notice, const QString& text) {
    const Look look = lookOf(notice);
    m_dialogs.messageBox(text, MsgButtons::OK, look.icon, look.titleId ? Str(look.titleId) : AppTitle());
}

QString DialogQuestions::newName(const QString& prompt) {
    return m_dialogs.inputBox(prompt, Str(txtDuplicateTitle), QString());
}

// The picker's title is the root of the file system ("/"), as the classic one showed its system drive.
QString DialogQuestions::newFolder() { return m_dialogs.pickFolder(Str(txtFolderPickerTitle)); }

bool DialogQuestions::addInstead() {
    return m_dialogs.messageBox(Str(txtAddInstead), MsgButtons::YesNo, MsgIcon::Question,
                                Str(txtReplaceProblemTitle)) == MsgAnswer::Yes;
}

bool DialogQuestions::tryAgain(const QString& text) {
    return m_dialogs.messageBox(text, MsgButtons::YesNo, MsgIcon::Exclamation,
                                Str(txtFoundationErrorTitle)) == MsgAnswer::Yes;
}

} // namespace stowline
