#include "mail/MessageText.h"

#include "mail/MailExport.h"
#include "mail/SearchTokens.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSet>
#include <QTimeZone>
#include <cerrno>
#include <cstring>
#include <functional>
#include <memory>

// GLib's headers name struct members "signals", which Qt defines as a keyword.
#pragma push_macro("signals")
#undef signals
#include <gmime/gmime.h>
#pragma pop_macro("signals")

namespace stowline::mail {

namespace {

template <class T> struct GObjectUnref {
    void operator()(T* object) const { g_object_unref(object); }
};
template <class T> using GObjectPtr = std::unique_ptr<T, GObjectUnref<T>>;

struct ParserOptionsFree {
    void operator()(GMimeParserOptions* options) const { g_mime_parser_options_free(options); }
};

const QByteArray FallbackCharset = QByteArrayLiteral("windows-1252");

void initGMime() {
    static const bool done = [] {
        g_mime_init();
        return true;
    }();
    Q_UNUSED(done);
}

QString takeGString(char* text) {
    QString result = QString::fromUtf8(text);
    g_free(text);
    return result;
}

QString addresses(InternetAddressList* list) {
    return list && internet_address_list_length(list) > 0
               ? takeGString(internet_address_list_to_string(list, nullptr, false))
               : QString();
}

bool isUtf8(QByteArrayView bytes) { return bytes.isValidUtf8(); }

// A charset that says nothing about 8-bit bytes is no better than none.
bool saysNothing(const QByteArray& charset) {
    const QByteArray name = charset.trimmed().toLower();
    return name.isEmpty() || name == "us-ascii" || name == "ascii" || name == "x-unknown" ||
           name == "unknown";
}

QByteArray decodeText(const QByteArray& bytes, const QByteArray& declared, const QByteArray& defaultCharset,
                      const QByteArray& forced) {
    if (!forced.isEmpty())
        return DecodeCharsetToUtf8(bytes, forced);
    if (!saysNothing(declared))
        return DecodeCharsetToUtf8(bytes, declared);
    if (isUtf8(bytes))
        return bytes;
    return DecodeCharsetToUtf8(bytes, defaultCharset.isEmpty() ? FallbackCharset : defaultCharset);
}

// A part's content with its transfer encoding undone.
QByteArray contentOf(GMimePart* part) {
    GMimeDataWrapper* content = g_mime_part_get_content(part);
    if (!content)
        return {};
    GObjectPtr<GMimeStream> stream(g_mime_stream_mem_new());
    g_mime_data_wrapper_write_to_stream(content, stream.get());
    GByteArray* bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(stream.get()));
    return QByteArray(reinterpret_cast<const char*>(bytes->data), qsizetype(bytes->len));
}

bool isText(GMimeObject* object, const char* subtype) {
    GMimeContentType* type = g_mime_object_get_content_type(object);
    return type && g_mime_content_type_is_type(type, "text", subtype);
}

QByteArray declaredCharset(GMimeObject* object) {
    GMimeContentType* type = g_mime_object_get_content_type(object);
    const char* charset = type ? g_mime_content_type_get_parameter(type, "charset") : nullptr;
    return charset ? QByteArray(charset) : QByteArray();
}

using PartVisitor = std::function<void(GMimeObject* object, GMimeObject* parent)>;

// Every leaf part and attached message, depth first, in the order they are written.
void visitParts(GMimeObject* object, GMimeObject* parent, const PartVisitor& visit) {
    if (GMIME_IS_MULTIPART(object)) {
        auto* multipart = GMIME_MULTIPART(object);
        for (int i = 0; i < g_mime_multipart_get_count(multipart); ++i)
            visitParts(g_mime_multipart_get_part(multipart, i), object, visit);
        return;
    }
    visit(object, parent);
    if (GMIME_IS_MESSAGE_PART(object))
        if (GMimeMessage* inner = g_mime_message_part_get_message(GMIME_MESSAGE_PART(object)))
            if (GMimeObject* body = g_mime_message_get_mime_part(inner))
                visitParts(body, object, visit);
}

bool isBodyText(GMimeObject* object) {
    return GMIME_IS_PART(object) && !g_mime_part_is_attachment(GMIME_PART(object)) &&
           (isText(object, "plain") || isText(object, "html"));
}

struct ParsedMessage {
    GObjectPtr<GMimeStream> stream;
    GObjectPtr<GMimeParser> parser;
    GObjectPtr<GMimeMessage> message;
};

ParsedMessage parse(const QByteArray& raw, GMimeParserOptions* options) {
    initGMime();
    ParsedMessage parsed;
    parsed.stream.reset(g_mime_stream_mem_new_with_buffer(raw.constData(), size_t(raw.size())));
    parsed.parser.reset(g_mime_parser_new_with_stream(parsed.stream.get()));
    parsed.message.reset(g_mime_parser_construct_message(parsed.parser.get(), options));
    return parsed;
}

bool isAlternatives(GMimeObject* object) {
    GMimeContentType* type = object ? g_mime_object_get_content_type(object) : nullptr;
    return type && g_mime_content_type_is_type(type, "multipart", "alternative");
}

// A message's text parts in UTF-8, as they come: the body, then every other text.
struct PartTexts {
    QByteArray body;
    QList<QByteArray> others;
    QStringList attachments;
    GMimeObject* bodyParent = nullptr;
    QList<GMimeObject*> otherParents;
    // The same text in another form: the HTML beside a plain body in one multipart/alternative.
    bool isBodyAlternative(qsizetype other) const {
        return otherParents[other] == bodyParent && isAlternatives(bodyParent);
    }
};

void readParts(GMimeMessage* message, PartTexts& text, const QByteArray& defaultCharset,
               const QByteArray& forced) {
    GMimeObject* body = g_mime_message_get_mime_part(message);
    if (!body)
        return;
    bool haveBody = false;
    bool bodyFromHtml = false;
    auto addOther = [&](QByteArray other, GMimeObject* parent) {
        text.others << std::move(other);
        text.otherParents << parent;
    };
    visitParts(body, nullptr, [&](GMimeObject* object, GMimeObject* parent) {
        if (GMIME_IS_MESSAGE_PART(object)) {
            GMimeMessage* inner = g_mime_message_part_get_message(GMIME_MESSAGE_PART(object));
            if (const char* subject = inner ? g_mime_message_get_subject(inner) : nullptr)
                addOther(QByteArray(subject), parent);
            return;
        }
        if (!GMIME_IS_PART(object))
            return;
        auto* part = GMIME_PART(object);
        if (const char* name = g_mime_part_get_filename(part))
            text.attachments << QString::fromUtf8(name);
        if (!isText(object, "*"))
            return;
        QByteArray decoded = decodeText(contentOf(part), declaredCharset(object), defaultCharset, forced);
        const bool html = isText(object, "html");
        if (html)
            decoded = TextOfHtml(QString::fromUtf8(decoded)).toUtf8();
        // The first plain part is the body; an HTML part stands in until one comes.
        if (isBodyText(object) && (!haveBody || (bodyFromHtml && !html))) {
            if (haveBody)
                addOther(std::move(text.body), text.bodyParent);
            text.body = std::move(decoded);
            text.bodyParent = parent;
            haveBody = true;
            bodyFromHtml = html;
        } else {
            addOther(std::move(decoded), parent);
        }
    });
}

} // namespace

namespace {

std::unique_ptr<GMimeParserOptions, ParserOptionsFree> parserOptions(const QByteArray& defaultCharset,
                                                                     const QByteArray& forcedCharset) {
    // 8-bit header text is tried as UTF-8 first, then in the identity's charset, unless one is forced.
    const QByteArray fallback = defaultCharset.isEmpty() ? FallbackCharset : defaultCharset;
    const QList<QByteArray> names =
        forcedCharset.isEmpty() ? QList<QByteArray>{"UTF-8", fallback} : QList<QByteArray>{forcedCharset};
    std::vector<const char*> charsets;
    for (const QByteArray& name : names)
        charsets.push_back(name.constData());
    charsets.push_back(nullptr);
    std::unique_ptr<GMimeParserOptions, ParserOptionsFree> options(g_mime_parser_options_new());
    g_mime_parser_options_set_fallback_charsets(options.get(), charsets.data()); // copies the names
    return options;
}

template <class Visit> void forEachWord(QByteArrayView tokens, Visit visit) {
    for (qsizetype start = 0; start < tokens.size();) {
        qsizetype end = tokens.indexOf(' ', start);
        if (end < 0)
            end = tokens.size();
        visit(tokens.sliced(start, end - start));
        start = end + 1;
    }
}

// Another form of the body adds only the words the body lacks: indexing what both say twice would
// cost the build and the index's size, and find nothing more.
void appendWordsNotIn(QByteArrayView bodyTokens, const QByteArray& alternative, QByteArray& tokens) {
    QSet<QByteArrayView> known;
    forEachWord(bodyTokens, [&](QByteArrayView word) { known.insert(word); });
    QByteArray added;
    forEachWord(SearchTokens(alternative), [&](QByteArrayView word) {
        if (!known.contains(word))
            (added.isEmpty() ? added : added += ' ') += word;
    });
    if (!added.isEmpty())
        (tokens.isEmpty() ? tokens : tokens += ' ') += added;
}

void readHeaders(GMimeMessage* message, MessageText& text) {
    text.parsed = true;
    text.from = addresses(g_mime_message_get_from(message));
    QStringList recipients;
    for (InternetAddressList* list :
         {g_mime_message_get_to(message), g_mime_message_get_cc(message), g_mime_message_get_bcc(message)})
        if (const QString line = addresses(list); !line.isEmpty())
            recipients << line;
    text.to = recipients.join(QStringLiteral(", "));
    text.subject = QString::fromUtf8(g_mime_message_get_subject(message));
    if (const char* date = g_mime_object_get_header(GMIME_OBJECT(message), "Date"))
        text.date = QString::fromUtf8(date).trimmed();
    if (GDateTime* sent = g_mime_message_get_date(message))
        text.sent = QDateTime::fromSecsSinceEpoch(g_date_time_to_unix(sent), QTimeZone::utc());
}

} // namespace

MessageText ReadMessageText(const QByteArray& raw, const QByteArray& defaultCharset,
                            const QByteArray& forcedCharset) {
    initGMime();
    MessageText text;
    const auto options = parserOptions(defaultCharset, forcedCharset);
    const ParsedMessage parsed = parse(raw, options.get());
    GMimeMessage* message = parsed.message.get();
    if (!message) {
        text.body = QString::fromLatin1(raw);
        return text;
    }
    readHeaders(message, text);
    PartTexts parts;
    readParts(message, parts, defaultCharset, forcedCharset);
    text.body = QString::fromUtf8(parts.body);
    for (const QByteArray& other : std::as_const(parts.others))
        text.otherTexts << QString::fromUtf8(other);
    text.attachments = parts.attachments;
    return text;
}

SearchableText ReadSearchableText(const QByteArray& raw, const QByteArray& defaultCharset) {
    initGMime();
    SearchableText text;
    const auto options = parserOptions(defaultCharset, {});
    const ParsedMessage parsed = parse(raw, options.get());
    GMimeMessage* message = parsed.message.get();
    if (!message) {
        text.headers.parsed = false;
        text.tokens = SearchTokens(QString::fromLatin1(raw).toUtf8());
        return text;
    }
    readHeaders(message, text.headers);
    PartTexts parts;
    readParts(message, parts, defaultCharset, {});
    AppendSearchTokens(parts.body, text.tokens);
    const qsizetype bodyTokens = text.tokens.size();
    for (qsizetype i = 0; i < parts.others.size(); ++i) {
        if (parts.isBodyAlternative(i))
            appendWordsNotIn(QByteArrayView(text.tokens).first(bodyTokens), parts.others[i], text.tokens);
        else
            AppendSearchTokens(parts.others[i], text.tokens);
    }
    text.headers.attachments = parts.attachments;
    return text;
}

QList<MessageAttachment> ReadAttachments(const QByteArray& raw) {
    QList<MessageAttachment> result;
    const ParsedMessage parsed = parse(raw, nullptr);
    GMimeObject* body = parsed.message ? g_mime_message_get_mime_part(parsed.message.get()) : nullptr;
    if (!body)
        return result;
    bool bodySeen = false;
    visitParts(body, nullptr, [&](GMimeObject* object, GMimeObject* parent) {
        // The parts of an attached message travel inside it.
        if (parent && GMIME_IS_MESSAGE_PART(parent))
            return;
        if (GMIME_IS_MESSAGE_PART(object)) {
            GMimeMessage* inner = g_mime_message_part_get_message(GMIME_MESSAGE_PART(object));
            if (!inner)
                return;
            GObjectPtr<GMimeStream> stream(g_mime_stream_mem_new());
            g_mime_object_write_to_stream(GMIME_OBJECT(inner), nullptr, stream.get());
            GByteArray* bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(stream.get()));
            const char* subject = g_mime_message_get_subject(inner);
            result.append({(subject && *subject ? QString::fromUtf8(subject) : QStringLiteral("message")) +
                               QStringLiteral(".eml"),
                           QByteArray(reinterpret_cast<const char*>(bytes->data), qsizetype(bytes->len))});
            return;
        }
        if (!GMIME_IS_PART(object))
            return;
        auto* part = GMIME_PART(object);
        const char* name = g_mime_part_get_filename(part);
        if (!name && isBodyText(object) && !bodySeen) {
            bodySeen = true;
            return;
        }
        if (!name && isBodyText(object))
            return; // the same text in another form (the HTML beside the plain text)
        result.append({name ? QString::fromUtf8(name) : QStringLiteral("part-%1").arg(result.size() + 1),
                       contentOf(part)});
    });
    return result;
}

QStringList SaveAttachments(const QByteArray& raw, const QString& folder, QString* error) {
    QStringList written;
    for (const MessageAttachment& attachment : ReadAttachments(raw)) {
        const QString safe = SafeFileName(attachment.name);
        const QFileInfo parts(safe);
        const QString suffix = parts.completeSuffix().isEmpty() ? QString() : u'.' + parts.completeSuffix();
        QString path = folder + u'/' + safe;
        for (int n = 2; QFileInfo::exists(path); ++n)
            path = folder + u'/' + parts.baseName() + QStringLiteral(" (%1)").arg(n) + suffix;
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly) ||
            file.write(attachment.content) != attachment.content.size() || !file.flush()) {
            if (error)
                *error = path;
            return written;
        }
        written << path;
    }
    return written;
}

bool SaveMessageFile(const QByteArray& raw, const QString& path) {
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(raw) == raw.size() && file.commit();
}

QString DecodeCharset(QByteArrayView bytes, const QByteArray& charset) {
    return QString::fromUtf8(DecodeCharsetToUtf8(bytes.toByteArray(), charset));
}

QByteArray DecodeCharsetToUtf8(const QByteArray& bytes, const QByteArray& charset) {
    // Most text is UTF-8 already: kept as it is, not converted to the same code.
    const QByteArray name = charset.trimmed().toLower();
    if ((name == "utf-8" || name == "utf8") && isUtf8(bytes))
        return bytes;
    initGMime();
    iconv_t cd = g_mime_iconv_open("UTF-8", charset.constData());
    if (cd == reinterpret_cast<iconv_t>(-1))
        cd = g_mime_iconv_open("UTF-8", FallbackCharset.constData());
    if (cd == reinterpret_cast<iconv_t>(-1))
        return QString::fromLatin1(bytes).toUtf8();
    QByteArray out(bytes.size() * 3 + 16, Qt::Uninitialized);
    char* in = const_cast<char*>(bytes.constData());
    size_t inLeft = size_t(bytes.size());
    size_t used = 0;
    auto convert = [&](char** from, size_t* fromLeft) {
        for (;;) {
            char* to = out.data() + used;
            size_t toLeft = size_t(out.size()) - used;
            const size_t done = iconv(cd, from, fromLeft, &to, &toLeft);
            used = size_t(out.size()) - toLeft;
            if (done != size_t(-1))
                return;
            if (errno == E2BIG) {
                out.resize(out.size() * 2);
                continue;
            }
            if (!from || *fromLeft == 0)
                return;
            // An undecodable byte: the replacement character, then go on with the next.
            static const char replacement[] = "\xef\xbf\xbd";
            if (size_t(out.size()) - used < 3)
                out.resize(out.size() * 2);
            std::memcpy(out.data() + used, replacement, 3);
            used += 3;
            ++*from;
            --*fromLeft;
        }
    };
    convert(&in, &inLeft);
    convert(nullptr, nullptr); // a stateful charset (ISO-2022-JP) ends its last shift
    g_mime_iconv_close(cd);
    out.truncate(qsizetype(used));
    return out;
}

QList<QByteArray> ReadableCharsets() {
    return {"utf-8",       "windows-1252", "iso-8859-1",   "iso-8859-2", "iso-8859-5", "iso-8859-7",
            "iso-8859-15", "windows-1250", "windows-1251", "koi8-r",     "koi8-u",     "iso-2022-jp",
            "shift_jis",   "euc-jp",       "gb2312",       "big5",       "euc-kr"};
}

QString TextOfHtml(const QString& html) {
    static const QRegularExpression hidden(QStringLiteral("<(script|style|head)\\b.*?</\\1\\s*>"),
                                           QRegularExpression::CaseInsensitiveOption |
                                               QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression breaks(QStringLiteral("<(br|/p|/div|/tr|/h\\d|li)\\b[^>]*>"),
                                           QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression tags(QStringLiteral("<[^>]*>"));
    static const QRegularExpression entity(QStringLiteral("&(#x[0-9a-fA-F]+|#\\d+|[a-zA-Z]+);"));
    static const QRegularExpression blankRun(QStringLiteral("\\n\\s*\\n\\s*\\n+"));
    QString text = html;
    text.remove(hidden);
    text.replace(breaks, QStringLiteral("\n"));
    text.remove(tags);
    QString result;
    qsizetype last = 0;
    for (auto it = entity.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        result += QStringView(text).mid(last, match.capturedStart() - last);
        const QString name = match.captured(1);
        static const QHash<QString, QString> named{
            {QStringLiteral("amp"), QStringLiteral("&")},   {QStringLiteral("lt"), QStringLiteral("<")},
            {QStringLiteral("gt"), QStringLiteral(">")},    {QStringLiteral("quot"), QStringLiteral("\"")},
            {QStringLiteral("apos"), QStringLiteral("'")},  {QStringLiteral("nbsp"), QStringLiteral(" ")},
            {QStringLiteral("auml"), QStringLiteral("ä")},  {QStringLiteral("ouml"), QStringLiteral("ö")},
            {QStringLiteral("uuml"), QStringLiteral("ü")},  {QStringLiteral("Auml"), QStringLiteral("Ä")},
            {QStringLiteral("Ouml"), QStringLiteral("Ö")},  {QStringLiteral("Uuml"), QStringLiteral("Ü")},
            {QStringLiteral("szlig"), QStringLiteral("ß")}, {QStringLiteral("eacute"), QStringLiteral("é")}};
        if (name.startsWith(u'#')) {
            bool ok = false;
            const uint code = name.startsWith(QStringLiteral("#x"), Qt::CaseInsensitive)
                                  ? name.mid(2).toUInt(&ok, 16)
                                  : name.mid(1).toUInt(&ok, 10);
            const char32_t point = ok && code > 0 && code <= 0x10ffff ? char32_t(code) : U'\ufffd';
            result += QString::fromUcs4(&point, 1);
        } else {
            result += named.value(name, match.captured(0));
        }
        last = match.capturedEnd();
    }
    result += QStringView(text).mid(last);
    result.replace(blankRun, QStringLiteral("\n\n"));
    return result.trimmed();
}

} // namespace stowline::mail
