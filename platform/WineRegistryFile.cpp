#include "platform/WineRegistryFile.h"

#include <QBuffer>
#include <QFile>
#include <QtEndian>
#include <cstring>

namespace stowline::platform {

namespace {

constexpr char Header[] = "WINE REGISTRY Version 2";
constexpr quint64 TicksPerSecond = 10000000ull;
constexpr quint64 From1601To1970 = 116444736000000000ull;

[[noreturn]] void fail(const QString& fileName, qint64 line, const QString& what) {
    throw RegistryError(QStringLiteral("Wine registry file \"%1\" line %2: %3")
                            .arg(fileName)
                            .arg(line)
                            .arg(what)
                            .toStdString());
}

// Lines of the file without their ends, streamed in chunks; the last line must end too, or the
// file was cut off.
class LineReader {
public:
    LineReader(QIODevice& in, const QString& fileName) : m_in(in), m_fileName(fileName) {
        // A file is read in one go, so that keys can keep their value lines as views into it.
        if (qobject_cast<QFile*>(&in)) {
            m_buffer = in.readAll();
            m_whole = true;
        }
    }
    bool whole() const { return m_whole; }
    // Past the end of the last line returned, its line end included.
    const char* lineEnd() const { return m_buffer.constData() + m_pos; }
    QByteArray takeBuffer() { return std::move(m_buffer); }

    // The line stays valid until the next call.
    bool next(QByteArrayView& line) {
        for (;;) {
            const qsizetype end = m_buffer.indexOf('\n', m_pos);
            if (end >= 0) {
                line = QByteArrayView(m_buffer).sliced(m_pos, end - m_pos);
                m_pos = end + 1;
                if (line.endsWith('\r'))
                    line.chop(1);
                ++m_number;
                return true;
            }
            const QByteArray chunk = m_whole ? QByteArray() : m_in.read(1 << 20);
            if (chunk.isEmpty()) {
                if (m_pos < m_buffer.size())
                    fail(m_fileName, m_number + 1,
                         QStringLiteral("the file ends in the middle of a line (cut off?)"));
                return false;
            }
            m_buffer = m_buffer.mid(m_pos) + chunk;
            m_pos = 0;
        }
    }
    qint64 number() const { return m_number; }

private:
    QIODevice& m_in;
    const QString& m_fileName;
    QByteArray m_buffer;
    bool m_whole = false;
    qsizetype m_pos = 0;
    qint64 m_number = 0;
};

bool isSpace(char c) { return c == ' ' || c == '\t'; }

const char* skipSpaces(const char* p, const char* end) {
    while (p < end && isSpace(*p))
        ++p;
    return p;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// One UTF-8 sequence; a byte that does not start a valid one stands for itself.
char32_t utf8At(const char*& p, const char* end) {
    const auto b0 = static_cast<unsigned char>(*p);
    const int extra = b0 >= 0xf0 ? 3 : b0 >= 0xe0 ? 2 : b0 >= 0xc0 ? 1 : 0;
    if (extra == 0 || end - p <= extra) {
        ++p;
        return b0;
    }
    char32_t code = b0 & (0x3f >> extra);
    for (int i = 1; i <= extra; ++i) {
        const auto b = static_cast<unsigned char>(p[i]);
        if ((b & 0xc0) != 0x80) {
            ++p;
            return b0;
        }
        code = (code << 6) | (b & 0x3f);
    }
    p += extra + 1;
    return code;
}

// A string as Wine escapes it, up to endChar: \a \b \e \f \n \r \t \v, \xHHHH (one to four hex
// digits), \ooo (one to three octal digits), a backslash before anything else stands for it.
// Returns the position after endChar, or nullptr when the line ends first.
const char* readEscaped(const char* p, const char* end, char endChar, QString& out) {
    const char* plain = p;
    while (plain < end && *plain != endChar && *plain != '\\' && static_cast<unsigned char>(*plain) < 0x80)
        ++plain;
    if (plain < end && *plain == endChar) {
        out.resize(plain - p); // keeps the capacity a reused string already has
        QChar* to = out.data();
        for (const char* c = p; c < plain; ++c)
            *to++ = QLatin1Char(*c);
        return plain + 1;
    }
    out.resize(0);
    while (p < end && *p != endChar) {
        if (static_cast<unsigned char>(*p) >= 0x80) {
            const char32_t code = utf8At(p, end);
            out += QString::fromUcs4(&code, 1);
            continue;
        }
        if (*p != '\\') {
            out += QLatin1Char(*p++);
            continue;
        }
        if (++p == end)
            return nullptr;
        const char c = *p;
        if (c == 'x') {
            ++p;
            uint code = 0;
            int digits = 0;
            for (; digits < 4 && p < end && hexDigit(*p) >= 0; ++digits)
                code = code * 16 + uint(hexDigit(*p++));
            out += QChar(char16_t(code));
        } else if (c >= '0' && c <= '7') {
            uint code = 0;
            for (int digits = 0; digits < 3 && p < end && *p >= '0' && *p <= '7'; ++digits)
                code = code * 8 + uint(*p++ - '0');
            out += QChar(char16_t(code));
        } else {
            static const char from[] = "abefnrtv";
            static const char to[] = "\a\b\x1b\f\n\r\t\v";
            const char* known = std::strchr(from, c);
            out += QLatin1Char(known && c ? to[known - from] : c);
            ++p;
        }
    }
    return p < end ? p + 1 : nullptr;
}

// Reading a file checks every value line but keeps the lines as they are (Key::raw); they become
// values only when a key's values are asked for, so a large file opens fast.
class Reader {
public:
    Reader(QIODevice& in, const QString& fileName) : m_lines(in, fileName), m_fileName(fileName) {}

    // The values of one key from its raw lines, checked when the file was read.
    static void readRaw(RegistryTree::Key& key) {
        QByteArray raw;
        std::swap(raw, key.raw);
        QBuffer buffer(&raw);
        buffer.open(QIODevice::ReadOnly);
        const QString name = QStringLiteral("(value lines)");
        Reader reader(buffer, name);
        reader.m_key = &key;
        reader.m_keepRaw = false;
        QByteArrayView line;
        while (reader.m_lines.next(line))
            reader.valueLine(line.data(), line.data() + line.size());
    }

    WineRegistryFile run() {
        QByteArrayView line;
        if (!m_lines.next(line) || line != Header)
            error(QStringLiteral("not a Wine registry file (no \"%1\" header)").arg(QLatin1String(Header)));
        while (m_lines.next(line))
            statement(line);
        while (m_file.preamble.endsWith("\n\n"))
            m_file.preamble.chop(1);
        m_file.text = m_lines.takeBuffer();
        return std::move(m_file);
    }

private:
    [[noreturn]] void error(const QString& what) const { fail(m_fileName, m_lines.number(), what); }

    void statement(QByteArrayView line) {
        const char* p = line.constData();
        const char* end = p + line.size();
        if (p == end || (!m_key && *p != '[')) {
            if (!m_key)
                m_file.preamble += line.toByteArray() + '\n';
            return;
        }
        switch (*p) {
        case '[':
            return keyLine(p + 1, end);
        case '@':
        case '"':
            keepRaw(line);
            return valueLine(p, end);
        case '#':
            return optionLine(line);
        case ';':
            return;
        default:
            if (skipSpaces(p, end) == end)
                return;
            error(QStringLiteral("not a key, a value or an option line"));
        }
    }

    // Value lines that follow each other stay a view into the file's text; anything else is copied.
    void keepRaw(QByteArrayView line) {
        QByteArray& raw = m_key->raw;
        const bool follows = !raw.isEmpty() && raw.constData() + raw.size() == line.data();
        if (m_lines.whole() && (raw.isEmpty() || (follows && m_rawIsView))) {
            const char* start = raw.isEmpty() ? line.data() : raw.constData();
            raw = QByteArray::fromRawData(start, m_lines.lineEnd() - start);
            m_rawIsView = true;
            return;
        }
        if (m_rawIsView) {
            raw = QByteArray(raw.constData(), raw.size()); // a copy of its own from here on
            m_rawIsView = false;
        }
        raw.append(line.data(), line.size()).append('\n');
    }

    void keyLine(const char* p, const char* end) {
        QString name;
        const char* rest = readEscaped(p, end, ']', name);
        if (!rest)
            error(QStringLiteral("the key line has no closing \"]\""));
        rest = skipSpaces(rest, end);
        quint64 seconds = 0;
        while (rest < end && *rest >= '0' && *rest <= '9')
            seconds = seconds * 10 + quint64(*rest++ - '0');
        if (skipSpaces(rest, end) != end)
            error(QStringLiteral("text after the key name"));
        if (const auto problem = keyPathBeyondLimits(name))
            error(*problem);
        m_key = &openKey(name.split(QLatin1Char('\\'), Qt::SkipEmptyParts));
        m_rawIsView = false;
        if (!m_key->raw.isEmpty()) // a key listed twice: its earlier lines become a copy
            m_key->raw = QByteArray(m_key->raw.constData(), m_key->raw.size());
        m_key->modified = seconds * TicksPerSecond + From1601To1970;
    }

    // Keys come in registry order, so the path shares most of its parents with the one before.
    RegistryTree::Key& openKey(const QStringList& parts) {
        qsizetype same = 0;
        while (same < parts.size() && same < m_openParts.size() &&
               parts[same].compare(m_openParts[same], Qt::CaseInsensitive) == 0)
            ++same;
        m_openChain.resize(same);
        RegistryTree::Key* key = same ? m_openChain.back() : &m_file.hive.tree.root();
        for (qsizetype i = same; i < parts.size(); ++i) {
            RegistryTree::Key* next = key->child(parts[i]);
            key = next ? next : key->addChild(parts[i], 0);
            m_openChain.push_back(key);
        }
        m_openParts = parts;
        return *key;
    }

    void optionLine(QByteArrayView line) {
        if (line.startsWith("#time=")) {
            bool ok = false;
            const quint64 time = line.sliced(6).toULongLong(&ok, 16);
            if (!ok)
                error(QStringLiteral("bad \"#time=\" line"));
            m_key->modified = time;
            return;
        }
        m_key->options += line.toByteArray() + '\n';
    }

    void valueLine(const char* p, const char* end) {
        NativeValue& value = m_scratch;
        value.name.resize(0);
        value.data.resize(0);
        if (*p == '@') {
            ++p;
        } else if (!(p = readEscaped(p + 1, end, '"', value.name))) {
            error(QStringLiteral("the value name has no closing quote"));
        }
        if (const auto problem = valueNameBeyondLimits(value.name))
            error(*problem);
        p = skipSpaces(p, end);
        if (p == end || *p != '=')
            error(QStringLiteral("\"=\" expected after the value name"));
        p = skipSpaces(p + 1, end);
        data(p, end, value);
        if (m_keepRaw)
            return;
        const int index = m_key->valueIndex(value.name);
        if (index >= 0)
            m_key->values[index] = value;
        else
            m_key->values << value;
    }

    static bool take(const char*& p, const char* end, const char* tag) {
        const auto length = qsizetype(std::strlen(tag));
        if (end - p < length || std::memcmp(p, tag, size_t(length)) != 0)
            return false;
        p += length;
        return true;
    }

    // "(N):" after "str" or "hex", N in hex.
    quint32 typeNumber(const char*& p, const char* end) {
        quint32 type = 0;
        int digits = 0;
        for (; p < end && hexDigit(*p) >= 0; ++digits)
            type = type * 16 + quint32(hexDigit(*p++));
        if (digits == 0 || !take(p, end, "):"))
            error(QStringLiteral("bad value type"));
        return type;
    }

    void data(const char* p, const char* end, NativeValue& value) {
        if (*p == '"' || take(p, end, "str:\"")) {
            value.type = RegType::Sz;
            return text(*p == '"' ? p + 1 : p, end, value);
        }
        if (take(p, end, "str(")) {
            value.type = typeNumber(p, end);
            if (!take(p, end, "\""))
                error(QStringLiteral("a quoted text expected"));
            return text(p, end, value);
        }
        if (take(p, end, "dword:"))
            return dword(p, end, value);
        if (take(p, end, "hex:")) {
            value.type = RegType::Binary;
            return hex(p, end, value);
        }
        if (take(p, end, "hex(")) {
            value.type = typeNumber(p, end);
            return hex(p, end, value);
        }
        error(QStringLiteral("unknown value type"));
    }

    void text(const char* p, const char* end, NativeValue& value) {
        QString& content = m_text;
        p = readEscaped(p, end, '"', content);
        if (!p)
            error(QStringLiteral("the text has no closing quote"));
        if (skipSpaces(p, end) != end)
            error(QStringLiteral("text after the value"));
        value.data.resize((content.size() + 1) * 2);
        for (qsizetype i = 0; i < content.size(); ++i)
            qToLittleEndian<quint16>(content[i].unicode(), value.data.data() + 2 * i);
        value.data[value.data.size() - 2] = value.data[value.data.size() - 1] = '\0';
    }

    void dword(const char* p, const char* end, NativeValue& value) {
        quint32 number = 0;
        int digits = 0;
        for (; p < end && hexDigit(*p) >= 0; ++digits)
            number = number * 16 + quint32(hexDigit(*p++));
        if (digits == 0 || digits > 8 || skipSpaces(p, end) != end)
            error(QStringLiteral("bad dword"));
        value.type = RegType::Dword;
        value.data.resize(4);
        qToLittleEndian(number, value.data.data());
    }

    // Bytes of two hex digits separated by commas; a line ending in "\" goes on in the next one.
    void hex(const char* p, const char* end, NativeValue& value) {
        QByteArrayView line;
        for (;;) {
            p = skipSpaces(p, end);
            while (p < end && hexDigit(*p) >= 0) {
                int byte = 0;
                int digits = 0;
                for (; p < end && hexDigit(*p) >= 0; ++digits)
                    byte = byte * 16 + hexDigit(*p++);
                if (digits > 2)
                    error(QStringLiteral("bad hex data"));
                value.data += char(byte);
                p = skipSpaces(p, end);
                if (p < end && *p == ',')
                    p = skipSpaces(p + 1, end);
            }
            if (p < end && *p == '\\' && skipSpaces(p + 1, end) == end) {
                if (!m_lines.next(line))
                    error(QStringLiteral("the file ends inside hex data (cut off?)"));
                if (m_keepRaw)
                    keepRaw(line);
                p = line.data();
                end = p + line.size();
                continue;
            }
            if (p != end)
                error(QStringLiteral("bad hex data"));
            return;
        }
    }

    LineReader m_lines;
    const QString& m_fileName;
    WineRegistryFile m_file;
    RegistryTree::Key* m_key = nullptr;
    bool m_keepRaw = true;
    bool m_rawIsView = false;
    NativeValue m_scratch;
    QString m_text;
    QStringList m_openParts;
    std::vector<RegistryTree::Key*> m_openChain;
};

// ---- Writing ----------------------------------------------------------------------------------

// Wine's escaping: controls as \a.. or octal, anything past ASCII as \x, and a backslash before
// "\" and the two characters given.
void appendEscaped(QByteArray& out, QStringView text, const char* special) {
    static const char escapes[33] = ".......abtnvfr.............e....";
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        const bool more = i + 1 < text.size();
        if (c > 127) {
            const bool hexNext =
                more && text[i + 1].unicode() < 128 && hexDigit(char(text[i + 1].unicode())) >= 0;
            out += hexNext ? QByteArray::number(c, 16).rightJustified(4, '0').prepend("\\x")
                           : QByteArray("\\x") + QByteArray::number(c, 16);
            continue;
        }
        if (c < 32) {
            if (c == 0 && !more)
                continue; // the terminating NUL is not written
            if (escapes[c] != '.') {
                out += '\\';
                out += escapes[c];
            } else {
                const bool octalNext = more && text[i + 1].unicode() >= '0' && text[i + 1].unicode() <= '7';
                out += '\\';
                out += octalNext ? QByteArray::number(c, 8).rightJustified(3, '0') : QByteArray::number(c, 8);
            }
            continue;
        }
        if (c == '\\' || c == char16_t(special[0]) || c == char16_t(special[1]))
            out += '\\';
        out += char(c);
    }
}

QString wideText(const QByteArray& data) {
    QString text(data.size() / 2, Qt::Uninitialized);
    for (qsizetype i = 0; i < text.size(); ++i)
        text[i] = QChar(qFromLittleEndian<quint16>(data.constData() + 2 * i));
    return text;
}

bool wellTerminatedText(const NativeValue& value) {
    return isTextType(value.type) && value.data.size() >= 2 && value.data.size() % 2 == 0 &&
           value.data.endsWith(QByteArray(2, '\0'));
}

void appendValue(QByteArray& out, const NativeValue& value) {
    qsizetype count;
    if (value.name.isEmpty()) {
        out += "@=";
        count = 2;
    } else {
        const qsizetype before = out.size();
        out += '"';
        appendEscaped(out, value.name, "\"\"");
        out += "\"=";
        count = out.size() - before;
    }
    if (wellTerminatedText(value)) {
        if (value.type != RegType::Sz)
            out += "str(" + QByteArray::number(value.type, 16) + "):";
        out += '"';
        appendEscaped(out, wideText(value.data), "\"\"");
        out += "\"\n";
        return;
    }
    if (value.type == RegType::Dword && value.data.size() == 4) {
        out += "dword:" +
               QByteArray::number(qFromLittleEndian<quint32>(value.data.constData()), 16)
                   .rightJustified(8, '0') +
               '\n';
        return;
    }
    const QByteArray tag = value.type == RegType::Binary ? QByteArray("hex:")
                                                         : "hex(" + QByteArray::number(value.type, 16) + "):";
    out += tag;
    count += tag.size();
    static const char digits[] = "0123456789abcdef";
    for (qsizetype i = 0; i < value.data.size(); ++i) {
        const auto byte = static_cast<unsigned char>(value.data[i]);
        out += digits[byte >> 4];
        out += digits[byte & 15];
        count += 2;
        if (i < value.data.size() - 1) {
            out += ',';
            if (++count > 76) {
                out += "\\\n  ";
                count = 2;
            }
        }
    }
    out += '\n';
}

// A key is written when it has values, no subkeys or options; the others come with their subkeys.
void appendKey(QByteArray& out, const RegistryTree::Key& key, const QByteArray& escapedPath) {
    if (key.hasValues() || key.children.empty() || !key.options.isEmpty()) {
        out += "\n[";
        out += escapedPath;
        const quint64 modified = key.modified >= From1601To1970 ? key.modified : fileTimeNow();
        out += "] " + QByteArray::number(uint((modified - From1601To1970) / TicksPerSecond)) + '\n';
        out += "#time=" + QByteArray::number(uint(modified >> 32), 16) +
               QByteArray::number(uint(modified & 0xffffffffu), 16).rightJustified(8, '0') + '\n';
        out += key.options;
        if (key.values.isEmpty())
            out += key.raw; // never read, so exactly as the file had it
        for (const NativeValue& value : key.values)
            appendValue(out, value);
    }
}

// Parent before children without recursion; each key's path is its parent's plus its own name,
// so a deep chain costs no more than its output.
void appendTree(QByteArray& out, const RegistryTree::Key& top) {
    struct Pending {
        const RegistryTree::Key* key;
        size_t depth; // 0 for the root, 1 for a key right below it
    };
    std::vector<Pending> stack{{&top, top.parent ? 1u : 0u}};
    std::vector<qsizetype> pathEnds{0}; // where the path of each depth ends in path
    QByteArray path;
    while (!stack.empty()) {
        const auto [key, depth] = stack.back();
        stack.pop_back();
        if (depth > 0) {
            pathEnds.resize(depth);
            path.truncate(pathEnds.back());
            if (depth > 1)
                path += "\\\\";
            appendEscaped(path, key->name, "[]");
            pathEnds.push_back(path.size());
        }
        appendKey(out, *key, path);
        for (auto child = key->children.crbegin(); child != key->children.crend(); ++child)
            stack.push_back({child->get(), depth + 1});
    }
}

} // namespace

WineRegistryFile readWineRegistry(QIODevice& in, const QString& fileName) {
    RegistryTree::Key::readRaw = &Reader::readRaw;
    return Reader(in, fileName).run();
}

QByteArray wineRegistryText(const WineRegistryFile& file) {
    QByteArray out = QByteArray(Header) + '\n' + file.preamble;
    const RegistryTree::Key& root = file.hive.tree.root();
    if (root.hasValues() || !root.options.isEmpty())
        appendTree(out, root);
    else
        for (const auto& child : root.children)
            appendTree(out, *child);
    return out;
}

} // namespace stowline::platform
