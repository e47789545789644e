#pragma once

#include "foundation/Questions.h"
#include "platform/Dialogs.h"

namespace stowline {

// The engines' questions as message boxes, input box and folder picker of the dialogs service:
// the person's own, or the unattended answers when nobody is there.
class DialogQuestions : public Questions {
public:
    explicit DialogQuestions(platform::Dialogs& dialogs = platform::dialogs()) : m_dialogs(dialogs) {}

    void tell(Notice notice, const QString& text) override;
    QString newName(const QString& prompt) override;
    QString newFolder() override;
    bool addInstead() override;
    bool tryAgain(const QString& text) override;

private:
    platform::Dialogs& m_dialogs;
};

} // namespace stowline
