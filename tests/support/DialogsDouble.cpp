#include "tests/support/DialogsDouble.h"

#include <QTest>

namespace stowline::test {

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

void DialogsDouble::unexpected(const DialogCall& call) {
    const QByteArray text = (QStringLiteral("unexpected dialog: ") + call.title + QStringLiteral(" / ") +
                             call.text + call.request.title)
                                .toUtf8();
    QTest::qFail(text.constData(), __FILE__, __LINE__);
}

platform::MsgAnswer DialogsDouble::messageBox(const QString& text, platform::MsgButtons buttons,
                                              platform::MsgIcon icon, const QString& title) {
    DialogCall call{DialogCall::Message, text, title, buttons, icon, {}};
    calls << call;
    if (m_messages.isEmpty()) {
        unexpected(call);
        return buttons == platform::MsgButtons::OK ? platform::MsgAnswer::OK : platform::MsgAnswer::No;
    }
    return m_messages.dequeue();
}

QString DialogsDouble::inputBox(const QString& prompt, const QString& title, const QString& defaultText) {
    DialogCall call{DialogCall::Input, prompt, title, {}, {}, {}};
    call.request.proposedName = defaultText;
    calls << call;
    if (m_inputs.isEmpty()) {
        unexpected(call);
        return {};
    }
    return m_inputs.dequeue();
}

QString DialogsDouble::saveFile(const platform::FileDialogRequest& request) {
    DialogCall call{DialogCall::SaveFile, {}, request.title, {}, {}, request};
    calls << call;
    if (m_files.isEmpty()) {
        unexpected(call);
        return {};
    }
    return m_files.dequeue();
}

QString DialogsDouble::openFile(const platform::FileDialogRequest& request) {
    DialogCall call{DialogCall::OpenFile, {}, request.title, {}, {}, request};
    calls << call;
    if (m_files.isEmpty()) {
        unexpected(call);
        return {};
    }
    return m_files.dequeue();
}

QString DialogsDouble::pickFolder(const QString& title) {
    DialogCall call{DialogCall::Folder, {}, title, {}, {}, {}};
    calls << call;
    if (m_folders.isEmpty()) {
        unexpected(call);
        return {};
    }
    return m_folders.dequeue();
}

} // namespace stowline::test
