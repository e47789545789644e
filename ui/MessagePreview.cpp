#include "ui/MessagePreview.h"

#include <QTextDocument>
#include <memory>

// GLib's headers name struct members "signals", which Qt defines as a keyword.
#pragma push_macro("signals")
#undef signals
#include <gmime/gmime.h>
#pragma pop_macro("signals")

namespace stowline {

namespace {

template <class T> struct GObjectUnref {
    void operator()(T* object) const { g_object_unref(object); }
};
template <class T> using GObjectPtr = std::unique_ptr<T, GObjectUnref<T>>;

QString takeGString(char* text) {
    QString result = QString::fromUtf8(text);
    g_free(text);
    return result;
}

// A mail's HTML names images and style sheets by file or address; none is read, not even to size it:
// a name may be a FIFO that blocks for ever or an address that tells the sender the mail was read.
class NothingLoaded : public QTextDocument {
protected:
    QVariant loadResource(int, const QUrl&) override { return {}; }
};

QString htmlAsText(const QString& html) {
    NothingLoaded document;
    document.setHtml(html);
    return document.toPlainText();
}

void initGMime() {
    static const bool done = [] {
        g_mime_init();
        return true;
    }();
    Q_UNUSED(done);
}

QString addresses(InternetAddressList* list) {
    return list ? takeGString(internet_address_list_to_string(list, nullptr, false)) : QString();
}

bool isType(GMimeObject* part, const char* type, const char* subtype) {
    GMimeContentType* contentType = g_mime_object_get_content_type(part);
    return contentType && g_mime_content_type_is_type(contentType, type, subtype);
}

struct BodyParts {
    GMimeTextPart* plain = nullptr;
    GMimeTextPart* html = nullptr;
    QStringList attachments;
};

// The first plain and HTML parts that are not attachments; the names of the attachments.
void collect(GMimeObject* object, BodyParts& parts) {
    if (GMIME_IS_MULTIPART(object)) {
        auto* multipart = GMIME_MULTIPART(object);
        for (int i = 0; i < g_mime_multipart_get_count(multipart); ++i)
            collect(g_mime_multipart_get_part(multipart, i), parts);
        return;
    }
    if (!GMIME_IS_PART(object))
        return; // an attached message is not opened
    auto* part = GMIME_PART(object);
    if (GMIME_IS_TEXT_PART(object) && !g_mime_part_is_attachment(part)) {
        if (!parts.plain && isType(object, "text", "plain")) {
            parts.plain = GMIME_TEXT_PART(object);
            return;
        }
        if (!parts.html && isType(object, "text", "html")) {
            parts.html = GMIME_TEXT_PART(object);
            return;
        }
    }
    if (const char* name = g_mime_part_get_filename(part))
        parts.attachments << QString::fromUtf8(name);
}

QString textOf(GMimeTextPart* part) { return takeGString(g_mime_text_part_get_text(part)); }

} // namespace

MessagePreview PreviewMessage(const QByteArray& raw) {
    initGMime();
    MessagePreview preview;
    GObjectPtr<GMimeStream> stream(g_mime_stream_mem_new_with_buffer(raw.constData(), raw.size()));
    GObjectPtr<GMimeParser> parser(g_mime_parser_new_with_stream(stream.get()));
    GObjectPtr<GMimeMessage> message(g_mime_parser_construct_message(parser.get(), nullptr));
    if (!message) {
        preview.body = QString::fromLatin1(raw);
        return preview;
    }
    preview.from = addresses(g_mime_message_get_from(message.get()));
    preview.to = addresses(g_mime_message_get_to(message.get()));
    preview.subject = QString::fromUtf8(g_mime_message_get_subject(message.get()));
    if (const char* date = g_mime_object_get_header(GMIME_OBJECT(message.get()), "Date"))
        preview.date = QString::fromUtf8(date).trimmed();

    BodyParts parts;
    if (GMimeObject* body = g_mime_message_get_mime_part(message.get()))
        collect(body, parts);
    if (parts.plain)
        preview.body = textOf(parts.plain);
    else if (parts.html)
        preview.body = htmlAsText(textOf(parts.html));
    preview.attachments = parts.attachments;
    return preview;
}

} // namespace stowline
