#pragma once

#include "platform/Dialogs.h"

#include <QList>
#include <QQueue>

namespace stowline::test {

struct DialogCall {
    enum Kind { Message, Input, SaveFile, OpenFile, Folder } kind;
    QString text; // message or prompt as composed
    QString title;
    platform::MsgButtons buttons = platform::MsgButtons::OK;
    platform::MsgIcon icon = platform::MsgIcon::None;
    platform::FileDialogRequest request;
};

// Records every dialog exactly as composed and answers from queues filled in advance. A dialog
// with no queued answer fails the running test.
class DialogsDouble : public platform::Dialogs {
public:
    void answerMessage(platform::MsgAnswer answer) { m_messages.enqueue(answer); }
    void answerInput(const QString& answer) { m_inputs.enqueue(answer); }
    void answerFile(const QString& path) { m_files.enqueue(path); } // save and open dialogs
    void answerFolder(const QString& path) { m_folders.enqueue(path); }

    QList<DialogCall> calls;
    bool allAnswersUsed() const;
    void clear();

    platform::MsgAnswer messageBox(const QString& text, platform::MsgButtons buttons, platform::MsgIcon icon,
                                   const QString& title) override;
    QString inputBox(const QString& prompt, const QString& title, const QString& defaultText) override;
    QString saveFile(const platform::FileDialogRequest& request) override;
    QString openFile(const platform::FileDialogRequest& request) override;
    QString pickFolder(const QString& title) override;

private:
    // Records the call and hands out the next queued answer; without one the test fails.
    template <class Answer>
    Answer answer(QQueue<Answer>& answers, const DialogCall& call, Answer fallback = {});

    QQueue<platform::MsgAnswer> m_messages;
    QQueue<QString> m_inputs;
    QQueue<QString> m_files;
    QQueue<QString> m_folders;
};

} // namespace stowline::test
