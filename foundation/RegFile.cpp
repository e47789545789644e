#include "foundation/RegFile.h"

#include "platform/FileCalls.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QTemporaryFile>
#include <QtEndian>
#include <cerrno>
#include <cstring>
#include <utility>

namespace stowline {

namespace {

using platform::Hive;
using platform::RegistryValue;
namespace RegType = platform::RegType;

const QString Regedit4Header = QStringLiteral("REGEDIT4");
const QString Version5Header = QStringLiteral("Windows Registry Editor Version 5.00");
const QString Crlf = QStringLiteral("\r\n");

QString quoted(const QString& text) { return QLatin1Char('"') + text + QLatin1Char('"'); }

QString joinPath(const QString& path, const QString& name) {
    if (path.isEmpty() || name.isEmpty())
        return path.isEmpty() ? name : path;
    return path + QLatin1Char('\\') + name;
}

QByteArray utf16le(const QString& text) {
    QStringEncoder encoder(QStringEncoder::Utf16LE, QStringConverter::Flag::Stateless);
    return encoder.encode(text);
}

// Code unit for code unit: a lone surrogate stays one, for the reader to find, never a '?'.
QString fromUtf16le(QByteArrayView bytes) {
    QString text(bytes.size() / 2, Qt::Uninitialized);
    for (qsizetype i = 0; i < text.size(); ++i)
        text[i] = QChar(qFromLittleEndian<char16_t>(bytes.data() + 2 * i));
    return text;
}

bool hasLoneSurrogate(QStringView text) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            ++i;
        else if (text[i].isSurrogate())
            return true;
    }
    return false;
}

QString escaped(const QString& text) {
    QString out = text;
    out.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    out.replace(QLatin1Char('"'), QLatin1String("\\\""));
    return out;
}

// ---- Writing ----------------------------------------------------------------------------------

class RegFileWriter {
public:
    RegFileWriter(QIODevice& out, RegFileFormat format) : m_out(out), m_format(format) {}

    void header() {
        if (m_format == RegFileFormat::Version5)
            put(QByteArrayLiteral("\xff\xfe"));
        line(m_format == RegFileFormat::Version5 ? Version5Header : Regedit4Header);
        line(QString());
    }

    void block(const QString& keyName, const QList<RegistryValue>& values) {
        line(QLatin1Char('[') + keyName + QLatin1Char(']'));
        for (const RegistryValue& value : values)
            line(valueText(value));
        line(QString());
    }

private:
    void put(const QByteArray& bytes) {
        if (m_out.write(bytes) != bytes.size())
            throw RegFileError((QStringLiteral("cannot write the file: ") + m_out.errorString()));
    }

    void line(const QString& text) {
        const QString withEnd = text + Crlf;
        put(m_format == RegFileFormat::Version5 ? utf16le(withEnd) : withEnd.toUtf8());
    }

    static bool fitsQuotes(const QByteArray& data) {
        return !data.contains('\0') && !data.contains('\r') && !data.contains('\n');
    }

    QString valueText(const RegistryValue& value) const {
        const QString name = value.name.isEmpty() ? QStringLiteral("@=") : quoted(escaped(value.name)) + u'=';
        if (value.type == RegType::Sz && fitsQuotes(value.data))
            return name + quoted(escaped(QString::fromUtf8(value.data)));
        if (value.type == RegType::Dword && value.data.size() == 4) {
            const quint32 number = qFromLittleEndian<quint32>(value.data.constData());
            return name + QStringLiteral("dword:") +
                   QStringLiteral("%1").arg(number, 8, 16, QLatin1Char('0'));
        }
        const QString prefix = value.type == RegType::Binary
                                   ? QStringLiteral("hex:")
                                   : QStringLiteral("hex(%1):").arg(value.type, 0, 16);
        return name + prefix + hexText(name.size() + prefix.size(), fileBytes(value));
    }

    // Text data travels as 8-bit bytes in REGEDIT4 and as UTF-16LE in version 5 files, with the
    // terminating NUL the registry keeps for REG_SZ and REG_EXPAND_SZ. A value of no bytes (an empty
    // "hex(2):" read in) stays without one, as Windows writes it.
    QByteArray fileBytes(const RegistryValue& value) const {
        if (!platform::isTextType(value.type) || value.data.isEmpty())
            return value.data;
        const bool terminate = value.type != RegType::MultiSz;
        if (m_format == RegFileFormat::Regedit4)
            return terminate ? value.data + '\0' : value.data;
        const QByteArray wide = utf16le(QString::fromUtf8(value.data));
        return terminate ? wide + QByteArray(2, '\0') : wide;
    }

    // regedit's wrapping: every byte but the last is written with its comma; when that comma has
    // landed in column 76 or further right (counting from 0, the "name"=hex: prefix included), a
    // backslash ends the line and the next one starts with two spaces. Continuation lines thus hold
    // 25 bytes; the last byte never carries a comma or a backslash.
    static QString hexText(qsizetype column, const QByteArray& bytes) {
        constexpr qsizetype WrapColumn = 76;
        QString text;
        for (qsizetype i = 0; i < bytes.size(); ++i) {
            text += QStringLiteral("%1").arg(static_cast<unsigned char>(bytes[i]), 2, 16, QLatin1Char('0'));
            if (i == bytes.size() - 1)
                break;
            text += u',';
            column += 3;
            if (column - 1 >= WrapColumn) {
                text += QStringLiteral("\\\r\n  ");
                column = 2;
            }
        }
        return text;
    }

    QIODevice& m_out;
    RegFileFormat m_format;
};

// Parent before children, without recursion: a key chain may be far deeper than the stack.
void writeTree(platform::Registry& store, RegFileWriter& writer, Hive hive, const QString& path,
               const QString& displayName) {
    struct Pending {
        QString path;
        QString displayName;
    };
    std::vector<Pending> stack{{path, displayName}};
    while (!stack.empty()) {
        const Pending key = std::move(stack.back());
        stack.pop_back();
        writer.block(key.displayName, store.values(hive, key.path));
        const QStringList subKeys = store.subKeys(hive, key.path);
        for (auto sub = subKeys.crbegin(); sub != subKeys.crend(); ++sub)
            stack.push_back({joinPath(key.path, *sub), key.displayName + u'\\' + *sub});
    }
}

// ---- Reading ----------------------------------------------------------------------------------

// Lines of a registry file without their line ends (CR LF, LF or a lone CR, as regedit reads
// them). A file that starts with the UTF-16LE BOM is UTF-16LE; anything else is 8-bit text, each
// line UTF-8 when valid and Windows-1252 otherwise.
class LineReader {
public:
    explicit LineReader(QIODevice& in) : m_in(in) {
        const QByteArray start = in.peek(3);
        if (start.startsWith("\xff\xfe")) {
            m_utf16 = true;
            in.skip(2);
        } else if (start.startsWith("\xef\xbb\xbf")) {
            in.skip(3);
        }
    }

    std::optional<QString> next() {
        for (;;) {
            const qsizetype end = lineEnd();
            if (end >= 0) {
                const bool crlf = m_pending.at(end) == u'\r' && end + 1 < m_pending.size() &&
                                  m_pending.at(end + 1) == u'\n';
                const qsizetype used = end + (crlf ? 2 : 1);
                ++m_number;
                // A line as long as all that was read (one of megabytes) is handed on, not copied.
                if (used == m_pending.size()) {
                    QString line = std::exchange(m_pending, QString());
                    line.truncate(end);
                    return line;
                }
                QString line = m_pending.left(end);
                m_pending.remove(0, used);
                return line;
            }
            if (m_ended) {
                if (m_pending.isEmpty())
                    return std::nullopt;
                ++m_number;
                return std::exchange(m_pending, QString());
            }
            m_pending += m_utf16 ? wideChunk() : narrowChunk();
        }
    }

    bool unicode() const { return m_utf16; }
    int number() const { return m_number; }

private:
    // A CR at the very end of what was read may be the first half of a CR LF still unread.
    qsizetype lineEnd() const {
        for (qsizetype i = 0; i < m_pending.size(); ++i) {
            const QChar c = m_pending.at(i);
            if (c == u'\n' || (c == u'\r' && (i + 1 < m_pending.size() || m_ended)))
                return i;
        }
        return -1;
    }

    // An odd byte waits for its other half in the next chunk.
    QString wideChunk() {
        const QByteArray bytes = m_in.read(ChunkSize);
        m_ended = bytes.isEmpty();
        m_oddByte += bytes;
        const qsizetype whole = m_oddByte.size() & ~qsizetype(1);
        QString text = fromUtf16le(QByteArrayView(m_oddByte).first(whole));
        m_oddByte.remove(0, whole);
        return text;
    }

    // Whole 8-bit lines are decoded at once, so a line's encoding is judged on the line alone.
    QString narrowChunk() {
        QByteArray bytes = m_in.read(ChunkSize);
        m_ended = bytes.isEmpty();
        while (!m_ended && !bytes.endsWith('\n') && !bytes.endsWith('\r')) {
            char c;
            m_ended = !m_in.getChar(&c);
            if (!m_ended)
                bytes += c;
        }
        QString text;
        qsizetype from = 0;
        while (from < bytes.size()) {
            qsizetype to = from;
            while (to < bytes.size() && bytes[to] != '\n' && bytes[to] != '\r')
                ++to;
            text += platform::decodeAnsiText(QByteArray::fromRawData(bytes.constData() + from, to - from));
            if (to < bytes.size())
                text += QChar(char16_t(bytes[to]));
            from = to + 1;
        }
        return text;
    }

    // The end is known only from a read that returns nothing: a sequential device (a zip member read
    // as a stream) says atEnd() whenever its buffer is empty, which may be in the middle of a line.
    static constexpr qint64 ChunkSize = 64 * 1024;

    QIODevice& m_in;
    bool m_ended = false;
    bool m_utf16 = false;
    QByteArray m_oddByte;
    QString m_pending;
    int m_number = 0;
};

bool isBlank(QChar c) { return c == u' ' || c == u'\t'; }

QStringView skipBlanks(QStringView text) {
    while (!text.isEmpty() && isBlank(text.front()))
        text = text.mid(1);
    return text;
}

// Nothing, or only a comment, is left on the line.
bool endsLine(QStringView rest) {
    rest = skipBlanks(rest);
    return rest.isEmpty() || rest.front() == u';';
}

bool isHexDigit(QChar c) {
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

// strtoul(text, 16) as the C library reads it: blanks, a sign and "0x" may lead; nullopt when no
// digit was read or the number does not fit 32 bits. used receives the characters read.
std::optional<quint32> readHexNumber(QStringView text, qsizetype& used) {
    qsizetype i = 0;
    while (i < text.size() && text[i].isSpace())
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-'))
        negative = text[i++] == u'-';
    if (i + 2 < text.size() && text[i] == u'0' && (text[i + 1] == u'x' || text[i + 1] == u'X') &&
        isHexDigit(text[i + 2]))
        i += 2;
    const qsizetype digits = i;
    quint64 value = 0;
    for (; i < text.size() && isHexDigit(text[i]); ++i) {
        const char16_t c = text[i].unicode();
        value = value * 16 + (c <= u'9' ? c - u'0' : (c | 0x20) - u'a' + 10);
        if (value > 0xffffffffu)
            return std::nullopt;
    }
    used = i == digits ? 0 : i;
    if (i == digits)
        return std::nullopt;
    return negative ? quint32(-qint64(value)) : quint32(value);
}

// The root key names regedit accepts in a file, long forms only, any letter case. Classes live
// below HKEY_LOCAL_MACHINE\Software\Classes, as on Windows.
struct RootKey {
    Hive hive;
    QString under;
};
std::optional<RootKey> rootKeyNamed(QStringView name) {
    if (name.compare(u"HKEY_CURRENT_USER", Qt::CaseInsensitive) == 0)
        return RootKey{Hive::CurrentUser, {}};
    if (name.compare(u"HKEY_LOCAL_MACHINE", Qt::CaseInsensitive) == 0)
        return RootKey{Hive::LocalMachine, {}};
    if (name.compare(u"HKEY_CLASSES_ROOT", Qt::CaseInsensitive) == 0)
        return RootKey{Hive::LocalMachine, QStringLiteral("Software\\Classes")};
    return std::nullopt;
}

bool isOtherRootKey(QStringView name) {
    for (const char16_t* other : {u"HKEY_USERS", u"HKEY_CURRENT_CONFIG", u"HKEY_DYN_DATA"})
        if (name.compare(QStringView(other), Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

// Reads a registry file as regedit does: a line it cannot use is skipped and the rest is read
// on. Every skipped line goes to the reporter; without one, the first skipped line throws.
class RegFileParser {
public:
    RegFileParser(QIODevice& in, const RegFileSink& sink, const RegFileReporter* report)
        : m_lines(in), m_sink(sink), m_report(report) {}

    RegFileSummary run() {
        readHeader();
        while (!m_stopped) {
            const auto line = m_lines.next();
            if (!line)
                break;
            m_win31 ? win31Line(*line) : statement(*line);
        }
        return m_summary;
    }

private:
    using Rest = std::optional<QStringView>; // what of the line is left to read, nullopt for none

    void skipped(const QString& reason, int line = 0) {
        if (!m_report)
            throw RegFileError(QStringLiteral("line %1: %2").arg(line ? line : m_lines.number()).arg(reason));
        ++m_summary.skippedLines;
        (*m_report)(line ? line : m_lines.number(), reason);
    }

    // A line that makes regedit give up on the rest of the file.
    void stop(const QString& reason) {
        skipped(reason);
        m_summary.stopped = true;
        m_stopped = true;
    }

    void readHeader() {
        const auto first = m_lines.next();
        const QStringView header = first ? skipBlanks(*first) : QStringView();
        m_win31 = header == u"REGEDIT";
        if (m_win31 || header == Regedit4Header || header == Version5Header)
            return;
        if (header.startsWith(u"REGEDIT")) // Windows accepts such a header and imports nothing
            throw RegFileError(QStringLiteral("line 1: \"%1\" is not a header whose content is read")
                                   .arg(header.left(40).toString()));
        throw RegFileError(
            QStringLiteral("not a registry file (unknown header \"%1\")").arg(header.left(40).toString()));
    }

    // No registry keeps a name or text with half a UTF-16 pair: the line goes, rather than a '?'.
    void statement(QStringView line) {
        if (hasLoneSurrogate(line)) {
            if (skipBlanks(line).startsWith(u'['))
                m_key.reset();
            return skipped(QStringLiteral("a lone UTF-16 surrogate, which no registry text can hold"));
        }
        Rest rest = line;
        while (rest && !rest->isEmpty())
            rest = lineStart(*rest);
    }

    Rest lineStart(QStringView text) {
        text = skipBlanks(text);
        if (text.isEmpty())
            return std::nullopt;
        switch (text.front().unicode()) {
        case u'[':
            return keyLine(text.mid(1));
        case u'@':
            m_valueName.clear();
            return dataStart(text.mid(1));
        case u'"':
            return quotedValueName(text.mid(1));
        case u';':
        case u'#':
            return std::nullopt;
        default:
            skipped(QStringLiteral("not a key, a value or a comment"));
            return std::nullopt;
        }
    }

    Rest keyLine(QStringView text) {
        const qsizetype close = text.lastIndexOf(u']');
        if (text.isEmpty() || isBlank(text.front()) || close < 0) {
            skipped(QStringLiteral("not a key name (blank after \"[\" or no \"]\")"));
            return std::nullopt;
        }
        const QStringView name = text.left(close);
        if (name.startsWith(u'-'))
            deleteKey(name.mid(1));
        else
            openKey(name);
        return std::nullopt;
    }

    std::optional<std::pair<Hive, QString>> resolve(QStringView fullName) {
        const qsizetype slash = fullName.indexOf(u'\\');
        const QStringView root = slash < 0 ? fullName : fullName.left(slash);
        const auto rootKey = rootKeyNamed(root);
        if (!rootKey)
            return std::nullopt;
        const QString path = slash < 0 ? QString() : fullName.mid(slash + 1).toString();
        return std::make_pair(rootKey->hive, joinPath(rootKey->under, path));
    }

    void openKey(QStringView fullName) {
        m_key.reset();
        const auto key = resolve(fullName);
        if (!key) {
            const qsizetype slash = fullName.indexOf(u'\\');
            const QStringView root = slash < 0 ? fullName : fullName.left(slash);
            skipped(isOtherRootKey(root) ? QStringLiteral("keys under %1 are not kept").arg(root.toString())
                                         : QStringLiteral("unknown root key \"%1\"").arg(root.toString()));
            return;
        }
        if (const auto problem = platform::keyPathBeyondLimits(key->second))
            return skipped(*problem);
        m_key = key;
        m_sink(RegFileOp{RegFileOp::CreateKey, key->first, key->second, {}});
    }

    // "[-" closes the current key even when it deletes nothing.
    void deleteKey(QStringView fullName) {
        m_key.reset();
        if (fullName.isEmpty() || (fullName.front() != u'H' && fullName.front() != u'h')) {
            skipped(QStringLiteral("not a key name after \"[-\""));
            return;
        }
        const auto key = resolve(fullName);
        if (!key)
            return stop(QStringLiteral("cannot delete \"%1\": not a known root key; the rest of the file is "
                                       "not read")
                            .arg(fullName.toString()));
        if (key->second.isEmpty())
            return stop(QStringLiteral("a root key cannot be deleted; the rest of the file is not read"));
        m_sink(RegFileOp{RegFileOp::DeleteKey, key->first, key->second, {}});
    }

    // Windows 3.1 files: "HKEY_CLASSES_ROOT\key = text" sets the key's default value.
    void win31Line(QStringView line) {
        if (!line.startsWith(u"HKEY_CLASSES_ROOT")) {
            if (!line.trimmed().isEmpty())
                skipped(QStringLiteral("not a HKEY_CLASSES_ROOT line"));
            return;
        }
        qsizetype keyEnd = 0;
        while (keyEnd < line.size() && !line[keyEnd].isSpace())
            ++keyEnd;
        QStringView value = skipBlanks(line.mid(keyEnd));
        if (value.startsWith(u'='))
            value = value.mid(1);
        if (value.startsWith(u' ')) // at most one blank belongs to the separator
            value = value.mid(1);
        openKey(line.left(keyEnd));
        if (m_key)
            setValue(QString(), RegType::Sz, value.toString().toUtf8());
    }

    // Reads a quoted text after its opening quote: \\, \" , \n and \r are escapes, any other
    // character after a backslash stands for itself, \0 is refused. nullopt when the text is
    // unterminated or refused; rest receives what follows the closing quote.
    std::optional<QString> quotedText(QStringView text, QStringView& rest, QString& problem) {
        QString out;
        out.reserve(text.size());
        for (qsizetype i = 0; i < text.size(); ++i) {
            QChar c = text[i];
            if (c == u'"') {
                rest = text.mid(i + 1);
                return out;
            }
            if (c == u'\\') {
                if (++i == text.size())
                    break;
                c = text[i];
                if (c == u'0') {
                    problem = QStringLiteral("\"\\0\" in a quoted text");
                    return std::nullopt;
                }
                c = c == u'n' ? QChar(u'\n') : c == u'r' ? QChar(u'\r') : c;
            }
            out += c;
        }
        problem = QStringLiteral("unterminated quoted text");
        return std::nullopt;
    }

    Rest quotedValueName(QStringView text) {
        QStringView rest;
        QString problem;
        const auto name = quotedText(text, rest, problem);
        if (!name) {
            skipped(problem);
            return std::nullopt;
        }
        m_valueName = *name;
        return dataStart(rest);
    }

    // After a value name: "=" and the data; anything else is read again as the start of a line.
    Rest dataStart(QStringView text) {
        text = skipBlanks(text);
        if (!text.startsWith(u'=')) {
            skipped(QStringLiteral("\"=\" expected after the value name"));
            return text;
        }
        text = skipBlanks(text.mid(1));
        while (!text.isEmpty() && isBlank(text.back()))
            text.chop(1);
        if (text.startsWith(u'-'))
            return deleteValue(text.mid(1));
        return dataType(text);
    }

    Rest deleteValue(QStringView rest) {
        if (!endsLine(rest)) {
            skipped(QStringLiteral("text after \"=-\""));
            return skipBlanks(rest);
        }
        if (!m_key)
            skipped(QStringLiteral("a value outside a key"));
        else
            m_sink(RegFileOp{RegFileOp::DeleteValue, m_key->first, m_key->second,
                             RegistryValue{m_valueName, 0, {}}});
        return std::nullopt;
    }

    // The type tags are case-sensitive, as regedit reads them.
    Rest dataType(QStringView text) {
        if (text.startsWith(u'"'))
            return stringData(text.mid(1));
        if (text.startsWith(u"dword:"))
            return dwordData(text.mid(6));
        if (text.startsWith(u"hex:"))
            return hexData(text.mid(4), RegType::Binary);
        if (text.startsWith(u"hex(")) {
            const QStringView number = text.mid(4);
            qsizetype used = 0;
            const bool xFirst = number.size() > 1 && (number[1] == u'x' || number[1] == u'X');
            const auto type = xFirst ? std::nullopt : readHexNumber(number, used);
            if (type && number.mid(used).startsWith(u"):"))
                return hexData(number.mid(used + 2), *type);
            skipped(QStringLiteral("bad value type in \"hex(...)\""));
            return number;
        }
        skipped(QStringLiteral("unknown value type"));
        return text;
    }

    Rest stringData(QStringView text) {
        QStringView rest;
        QString problem;
        const auto data = quotedText(text, rest, problem);
        if (!data && problem.startsWith(u"\"\\0\"")) // regedit reads nothing after it
            stop(problem + QStringLiteral("; the rest of the file is not read"));
        else if (!data)
            skipped(problem);
        if (!data)
            return std::nullopt;
        if (!endsLine(rest)) {
            skipped(QStringLiteral("text after the value"));
            return std::nullopt;
        }
        setValue(m_valueName, RegType::Sz, data->toUtf8());
        return std::nullopt;
    }

    Rest dwordData(QStringView text) {
        text = skipBlanks(text);
        qsizetype digits = 0;
        while (digits < text.size() && isHexDigit(text[digits]))
            ++digits;
        if (text.isEmpty() || digits > 8 || !endsLine(text.mid(digits))) {
            skipped(QStringLiteral("bad dword \"%1\"").arg(text.left(20).toString()));
            return text;
        }
        QByteArray bytes(4, Qt::Uninitialized);
        qToLittleEndian(text.left(digits).toUInt(nullptr, 16), bytes.data());
        setValue(m_valueName, RegType::Dword, bytes);
        return std::nullopt;
    }

    Rest hexData(QStringView text, quint32 type) {
        QByteArray bytes;
        const int firstLine = m_lines.number();
        for (;;) {
            bool continues = false;
            if (!hexItems(text, bytes, continues)) {
                skipped(QStringLiteral("bad hex data \"%1\"").arg(text.left(20).toString()), firstLine);
                return std::nullopt;
            }
            if (!continues)
                break;
            if (!nextContinuation())
                break; // the data ends with the file
            text = skipBlanks(m_continuation);
            if (!isHexDigit(text.front())) {
                // As Windows reads it: the line that breaks the data off is taken into the value, and
                // both are dropped, be it a value, a key or anything else.
                skipped(QStringLiteral("hex data broken off by line %1, which is dropped with it")
                            .arg(m_lines.number()),
                        firstLine);
                return std::nullopt;
            }
        }
        if (!platform::isTextType(type) || bytes.isEmpty()) {
            setValue(m_valueName, type, bytes);
        } else if (const auto text = textData(type, bytes)) {
            setValue(m_valueName, type, *text);
        } else {
            skipped(QStringLiteral("text data with a lone UTF-16 surrogate, which no registry text can hold"),
                    firstLine);
        }
        return std::nullopt;
    }

    // Blank and comment lines inside continued hex data are passed over.
    bool nextContinuation() {
        while (const auto next = m_lines.next()) {
            m_continuation = *next;
            if (!endsLine(m_continuation))
                return true;
        }
        return false;
    }

    // Comma-separated bytes up to the end of the line, a comment or a continuation backslash.
    bool hexItems(QStringView text, QByteArray& bytes, bool& continues) const {
        while (!text.isEmpty()) {
            qsizetype used = 0;
            const auto number = readHexNumber(text, used);
            if (!number) {
                QStringView end = skipBlanks(text);
                if (end.startsWith(u'\\')) {
                    continues = endsLine(end.mid(1));
                    return continues;
                }
                return end.startsWith(u';') || (end.isEmpty() && text.isEmpty());
            }
            if (*number > 0xff)
                return false;
            bytes += char(*number);
            text = text.mid(used);
            if (!text.startsWith(u','))
                return endsLine(text);
            text = text.mid(1);
        }
        return true;
    }

    // Stored text is UTF-8 without the terminating NUL of REG_SZ and REG_EXPAND_SZ; a file read as
    // UTF-16 holds UTF-16LE bytes, any other holds 8-bit text. Nullopt for half a UTF-16 pair.
    std::optional<QByteArray> textData(quint32 type, const QByteArray& bytes) const {
        QString text = m_lines.unicode() ? fromUtf16le(bytes) : platform::decodeAnsiText(bytes);
        if (hasLoneSurrogate(text))
            return std::nullopt;
        if (type == RegType::MultiSz) {
            if (!text.endsWith(QChar(u'\0')))
                text += QChar(u'\0');
        } else if (text.endsWith(QChar(u'\0'))) {
            text.chop(1);
        }
        return text.toUtf8();
    }

    void setValue(const QString& name, quint32 type, const QByteArray& data) {
        if (!m_key) {
            skipped(QStringLiteral("a value outside a key"));
            return;
        }
        if (const auto problem = platform::valueNameBeyondLimits(name))
            return skipped(*problem);
        m_sink(RegFileOp{RegFileOp::SetValue, m_key->first, m_key->second, RegistryValue{name, type, data}});
    }

    LineReader m_lines;
    const RegFileSink& m_sink;
    const RegFileReporter* m_report;
    RegFileSummary m_summary;
    bool m_win31 = false;
    bool m_stopped = false;
    std::optional<std::pair<Hive, QString>> m_key;
    QString m_valueName;
    QString m_continuation; // the line hex data goes on in, kept alive while it is read
};

void apply(platform::Registry& store, const RegFileOp& op) {
    switch (op.kind) {
    case RegFileOp::CreateKey:
        store.createKey(op.hive, op.path);
        break;
    case RegFileOp::DeleteKey:
        store.deleteKey(op.hive, op.path);
        break;
    case RegFileOp::SetValue:
        store.setValue(op.hive, op.path, op.value);
        break;
    case RegFileOp::DeleteValue:
        store.deleteValue(op.hive, op.path, op.value.name);
        break;
    }
}

} // namespace

std::optional<std::pair<Hive, QString>> splitKeyName(const QString& fullName) {
    QStringList parts = fullName.split(u'\\', Qt::SkipEmptyParts);
    if (parts.isEmpty())
        return std::nullopt;
    const auto hive = platform::hiveFromName(parts.takeFirst().trimmed());
    if (!hive)
        return std::nullopt;
    return std::make_pair(*hive, parts.join(u'\\'));
}

void exportRegistry(platform::Registry& store, QIODevice& out, const QString& keyName, RegFileFormat format) {
    RegFileWriter writer(out, format);
    if (keyName.isEmpty()) {
        store.read([&] {
            writer.header();
            for (const Hive hive : {Hive::LocalMachine, Hive::CurrentUser})
                writeTree(store, writer, hive, QString(), platform::hiveName(hive));
        });
        return;
    }
    const auto key = splitKeyName(keyName);
    if (!key)
        throw RegFileError((QStringLiteral("the key ") + quoted(keyName) +
                            QStringLiteral(" is not under HKEY_CURRENT_USER or HKEY_LOCAL_MACHINE")));
    store.read([&] {
        if (!store.keyExists(key->first, key->second))
            throw RegFileError(
                (QStringLiteral("the key ") + quoted(keyName) + QStringLiteral(" does not exist")));
        writer.header();
        writeTree(store, writer, key->first, key->second,
                  joinPath(platform::hiveName(key->first), key->second));
    });
}

namespace {

// Nothing in the temporary folder is meant to outlive a crash: a backup's workspace export is read
// into the archive, which is synced, and then deleted. Syncing it cost each export two syncs.
bool keptAcrossCrash(const QString& fileName) {
    const QString temporary = QDir(QDir::tempPath()).canonicalPath() + u'/';
    return !QString(QFileInfo(fileName).dir().canonicalPath() + u'/').startsWith(temporary);
}

RegFileError cannotWrite(const QString& fileName, const QString& reason) {
    return RegFileError(QStringLiteral("cannot write ") + quoted(fileName) + QStringLiteral(": ") + reason);
}

} // namespace

void exportRegFile(platform::Registry& store, const QString& fileName, const QString& keyName,
                   RegFileFormat format) {
    // Made beside the target, for the owner's eyes only (exports carry account keys and password
    // values), and renamed into place when complete.
    QTemporaryFile file(fileName + QStringLiteral(".XXXXXX"));
    if (!file.open())
        throw cannotWrite(fileName, file.errorString());
    exportRegistry(store, file, keyName, format);
    // Synced and renamed through the file-call doors, where a full disk can be simulated.
    if (!file.flush() || (keptAcrossCrash(fileName) && platform::syncFile(file.handle()) != 0) ||
        platform::renameFile(QFile::encodeName(file.fileName()).constData(),
                             QFile::encodeName(fileName).constData()) != 0)
        throw cannotWrite(fileName, QString::fromLocal8Bit(strerror(errno)));
    file.setAutoRemove(false);
}

void parseRegFile(QIODevice& in, const RegFileSink& sink) { RegFileParser(in, sink, nullptr).run(); }

RegFileSummary parseRegFile(QIODevice& in, const RegFileSink& sink, const RegFileReporter& report) {
    return RegFileParser(in, sink, &report).run();
}

RegFileSummary importRegFile(platform::Registry& store, const QString& fileName,
                             const RegFileReporter& report) {
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        throw RegFileError(
            (QStringLiteral("cannot read ") + quoted(fileName) + QStringLiteral(": ") + file.errorString()));
    RegFileSummary summary;
    try {
        store.write([&] {
            summary = parseRegFile(
                file, [&](const RegFileOp& op) { apply(store, op); }, report);
        });
    } catch (const RegFileError& error) {
        throw RegFileError((quoted(fileName) + u' ' + error.message()));
    }
    return summary;
}

} // namespace stowline
