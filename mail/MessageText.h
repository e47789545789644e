#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

namespace stowline::mail {

// A stored message made readable: headers and text parts undone from their transfer encodings and
// converted from their charsets. Only for reading; the stored bytes stay as they are.
struct MessageText {
    QString from;
    QString to; // every recipient: To, Cc and Bcc
    QString subject;
    QString date;            // the Date header as written
    QDateTime sent;          // the Date header read, UTC; invalid when missing or unreadable
    QString body;            // the first plain text part, or the first HTML part's text
    QStringList otherTexts;  // the text of every further text part, attached messages included
    QStringList attachments; // the file names of the other parts
    bool parsed = false;     // false when the bytes are no message (then body holds them as Latin-1)
};

// A message as the full-text index takes it: its headers as ReadMessageText reads them (body and
// otherTexts left empty), and the SearchTokens of its text parts, one after another.
struct SearchableText {
    MessageText headers;
    QByteArray tokens;
};

// One attachment with its content, transfer encoding undone.
struct MessageAttachment {
    QString name;
    QByteArray content;
};

// Reads a message. Text without a declared charset (8-bit headers, parts without charset) is read
// as UTF-8 when it is valid UTF-8, else in `defaultCharset`. A non-empty `forcedCharset` replaces
// every charset the message declares, for a message that declares the wrong one.
MessageText ReadMessageText(const QByteArray& raw, const QByteArray& defaultCharset = {},
                            const QByteArray& forcedCharset = {});

// The same reading as ReadMessageText with no charset forced, its texts made search tokens.
SearchableText ReadSearchableText(const QByteArray& raw, const QByteArray& defaultCharset);

// The parts that are not the message's text, with a name for each (unnamed ones numbered).
QList<MessageAttachment> ReadAttachments(const QByteArray& raw);

// Writes every attachment into folder under its own name made safe; a name already taken there gets
// " (2)", " (3)"... so that nothing is replaced. The paths written; `error` names a file that could
// not be written (then the ones before it stay).
QStringList SaveAttachments(const QByteArray& raw, const QString& folder, QString* error);

// The message's stored bytes as an .eml file at path (a path the person chose, so it is replaced).
bool SaveMessageFile(const QByteArray& raw, const QString& path);

// Bytes in a named charset; an undecodable byte becomes U+FFFD, an unknown charset is read as
// windows-1252.
QString DecodeCharset(QByteArrayView bytes, const QByteArray& charset);
// The same, as UTF-8 bytes; text that is UTF-8 already comes back as it is, without a copy.
QByteArray DecodeCharsetToUtf8(const QByteArray& bytes, const QByteArray& charset);

// The charsets offered for reading a message whose text shows wrong.
QList<QByteArray> ReadableCharsets();

// An HTML part's text: tags, scripts and styles dropped, the common entities undone.
QString TextOfHtml(const QString& html);

} // namespace stowline::mail
