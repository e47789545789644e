#include "tests/support/DialogsDouble.h"

#include <QTest>

namespace stowline::test {

using namespace Qt::StringLiterals;

bool DialogsDouble::allAnswersUsed() const {
    return m_messages.isEmpty() && m_inputs.isEmpty() && m_files.isEmpty() && m_folders.isEmpty();
}

void DialogsDouble::clear() {
    calls.clear();
    m_messages.clear();
    m_inputs.clear();
    m_files.clear();
    m_folders.clear();
}

template <class Answer>
Answer DialogsDouble::answer(QQueue<Answer>& answers, const DialogCall& call, Answer fallback) {
    calls << call;
    if (!answers.isEmpty())
        return answers.dequeue();
    const QString text = u"unexpected dialog: "_s + call.title + u" / "_s + call.text;
    QTest::qFail(qPrintable(text + call.request.title), __FILE__, __LINE__);
    return fallback;
}

platform::MsgAnswer DialogsDouble::messageBox(const QString& text, platform::MsgButtons buttons,
                                              platform::MsgIcon icon, const QString& title) {
    const auto fallback =
        buttons == platform::MsgButtons::OK ? platform::MsgAnswer::OK : platform::MsgAnswer::No;
    return answer(m_messages, {DialogCall::Message, text, title, buttons, icon, {}}, fallback);
}

QString DialogsDouble::inputBox(const QString& prompt, const QString& title, const QString& defaultText) {
    DialogCall call{DialogCall::Input, prompt, title, {}, {}, {}};
    call.request.proposedName = defaultText;
    return answer(m_inputs, call);
}

QString DialogsDouble::saveFile(const platform::FileDialogRequest& request) {
    return answer(m_files, {DialogCall::SaveFile, {}, request.title, {}, {}, request});
}

QString DialogsDouble::openFile(const platform::FileDialogRequest& request) {
    return answer(m_files, {DialogCall::OpenFile, {}, request.title, {}, {}, request});
}

QString DialogsDouble::pickFolder(const QString& title) {
    return answer(m_folders, {DialogCall::Folder, {}, title, {}, {}, {}});
}

} // namespace stowline::test
