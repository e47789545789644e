#include "ui/MessagePreview.h"

#include "mail/MessageText.h"

namespace stowline {

MessagePreview PreviewMessage(const QByteArray& raw, const QByteArray& charset) {
    const mail::MessageText text = mail::ReadMessageText(raw, {}, charset);
    return {text.from, text.to, text.date, text.subject, text.body, text.attachments};
}

} // namespace stowline
