#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace stowline {

// A stored message made readable: its main headers and its first text part, decoded from their
// transfer encodings and charsets into plain text. Only for showing; the stored bytes stay as they are.
struct MessagePreview {
    QString from;
    QString to;
    QString date;
    QString subject;
    QString body;            // the text part, or an HTML part's text when there is no plain one
    QStringList attachments; // the file names of the other parts
};

// `charset`, when not empty, replaces the charsets the message declares (a message that shows wrong).
MessagePreview PreviewMessage(const QByteArray& raw, const QByteArray& charset = {});

} // namespace stowline
