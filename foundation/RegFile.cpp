#include "foundation/RegFile.h"

#include <QFile>
#include <QSaveFile>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QtEndian>
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

QString fromUtf16le(const QByteArray& bytes) {
    QStringDecoder decoder(QStringDecoder::Utf16LE,
                           QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom);
    return decoder.decode(bytes.left(bytes.size() & ~qsizetype(1)));
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
    // terminating NUL the registry keeps for REG_SZ and REG_EXPAND_SZ.
    QByteArray fileBytes(const RegistryValue& value) const {
        if (!platform::isTextType(value.type))
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

void writeTree(platform::RegistryStore& store, RegFileWriter& writer, Hive hive, const QString& path,
               const QString& displayName) {
    writer.block(displayName, store.values(hive, path));
    for (const QString& sub : store.subKeys(hive, path))
        writeTree(store, writer, hive, joinPath(path, sub), displayName + u'\\' + sub);
}

// ---- Reading ----------------------------------------------------------------------------------

// Lines of a registry file without their line ends. Version 5 files are UTF-16LE after a BOM;
// anything else is 8-bit text, each line UTF-8 when valid and Windows-1252 otherwise.
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
        std::optional<QString> line = m_utf16 ? nextWide() : nextNarrow();
        if (line) {
            ++m_number;
            if (line->endsWith(u'\r'))
                line->chop(1);
        }
        return line;
    }

    int number() const { return m_number; }

private:
    std::optional<QString> nextNarrow() {
        if (m_in.atEnd())
            return std::nullopt;
        QByteArray bytes = m_in.readLine();
        if (bytes.endsWith('\n'))
            bytes.chop(1);
        return platform::decodeAnsiText(bytes);
    }

    std::optional<QString> nextWide() {
        for (;;) {
            const qsizetype end = m_pending.indexOf(u'\n');
            if (end >= 0) {
                const QString line = m_pending.left(end);
                m_pending.remove(0, end + 1);
                return line;
            }
            if (m_in.atEnd()) {
                if (m_pending.isEmpty())
                    return std::nullopt;
                return std::exchange(m_pending, QString());
            }
            m_pending += m_decoder.decode(m_in.read(64 * 1024));
        }
    }

    QIODevice& m_in;
    bool m_utf16 = false;
    QStringDecoder m_decoder{QStringDecoder::Utf16LE, QStringConverter::Flag::ConvertInitialBom};
    QString m_pending;
    int m_number = 0;
};

bool isHexDigits(QStringView text, qsizetype minimum, qsizetype maximum) {
    if (text.size() < minimum || text.size() > maximum)
        return false;
    for (const QChar c : text) {
        if (!((c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F')))
            return false;
    }
    return true;
}

QStringView withoutComment(QStringView text) {
    const qsizetype comment = text.indexOf(u';');
    return (comment >= 0 ? text.left(comment) : text).trimmed();
}

class RegFileParser {
public:
    RegFileParser(QIODevice& in, const std::function<void(const RegFileOp&)>& sink)
        : m_lines(in), m_sink(sink) {}

    void run() {
        readHeader();
        while (const auto line = m_lines.next())
            statement(*line);
    }

private:
    // Names the line where the broken statement starts.
    [[noreturn]] void broken(const QString& reason) const {
        throw RegFileError(QStringLiteral("line %1: %2").arg(qMax(m_statementLine, 1)).arg(reason));
    }

    void readHeader() {
        const auto first = m_lines.next();
        const QString header = first ? first->trimmed() : QString();
        if (header == Version5Header)
            m_version5 = true;
        else if (header != Regedit4Header)
            broken(QStringLiteral("not a registry file (unknown header \"%1\")").arg(header.left(40)));
    }

    void statement(const QString& line) {
        m_statementLine = m_lines.number();
        const QStringView text = QStringView(line).trimmed();
        if (text.isEmpty() || text.startsWith(u';'))
            return;
        if (text.startsWith(u'['))
            keyLine(text);
        else if (text.startsWith(u'"') || text.startsWith(u'@'))
            valueLine(text);
        else
            broken(QStringLiteral("unrecognised line"));
    }

    void expectEnd(QStringView rest) const {
        rest = rest.trimmed();
        if (!rest.isEmpty() && !rest.startsWith(u';'))
            broken(QStringLiteral("unexpected text \"%1\"").arg(rest.left(20)));
    }

    void keyLine(QStringView text) {
        const qsizetype close = text.lastIndexOf(u']');
        if (close < 0)
            broken(QStringLiteral("unterminated key name"));
        expectEnd(text.mid(close + 1));
        QStringView name = text.mid(1, close - 1);
        const bool removal = name.startsWith(u'-');
        if (removal)
            name = name.mid(1);
        const auto key = splitKeyName(name.toString());
        if (!key)
            broken(QStringLiteral("the key \"%1\" is not under HKEY_CURRENT_USER or HKEY_LOCAL_MACHINE")
                       .arg(name.toString()));
        if (removal && key->second.isEmpty())
            broken(QStringLiteral("a hive cannot be deleted"));
        m_key = *key;
        m_keyRemoved = removal;
        m_sink(RegFileOp{removal ? RegFileOp::DeleteKey : RegFileOp::CreateKey, key->first, key->second, {}});
    }

    // Reads a quoted string starting at pos (the opening quote); pos ends after the closing quote.
    QString quotedText(QStringView text, qsizetype& pos) const {
        QString out;
        for (++pos; pos < text.size(); ++pos) {
            const QChar c = text[pos];
            if (c == u'"') {
                ++pos;
                return out;
            }
            if (c == u'\\' && pos + 1 < text.size() && (text[pos + 1] == u'\\' || text[pos + 1] == u'"'))
                ++pos;
            out += text[pos];
        }
        broken(QStringLiteral("unterminated string"));
    }

    void valueLine(QStringView text) {
        if (!m_key)
            broken(QStringLiteral("a value outside a key"));
        qsizetype pos = 0;
        QString name;
        if (text.startsWith(u'@'))
            pos = 1;
        else
            name = quotedText(text, pos);
        QStringView rest = text.mid(pos).trimmed();
        if (!rest.startsWith(u'='))
            broken(QStringLiteral("\"=\" expected after the value name"));
        rest = rest.mid(1).trimmed();
        RegFileOp op{RegFileOp::SetValue, m_key->first, m_key->second, RegistryValue{name, RegType::Sz, {}}};
        if (rest.startsWith(u'-')) {
            expectEnd(rest.mid(1));
            op.kind = RegFileOp::DeleteValue;
        } else if (rest.startsWith(u'"')) {
            pos = 0;
            op.value.data = quotedText(rest, pos).toUtf8();
            expectEnd(rest.mid(pos));
        } else if (rest.startsWith(QLatin1String("dword:"), Qt::CaseInsensitive)) {
            op.value.type = RegType::Dword;
            op.value.data = dwordData(withoutComment(rest.mid(6)));
        } else if (rest.startsWith(QLatin1String("hex"), Qt::CaseInsensitive)) {
            hexValue(rest.mid(3), op.value);
        } else {
            broken(QStringLiteral("unknown value type"));
        }
        if (!m_keyRemoved) // regedit checks but skips the values of a key it was told to delete
            m_sink(op);
    }

    QByteArray dwordData(QStringView digits) const {
        if (!isHexDigits(digits, 1, 8))
            broken(QStringLiteral("bad dword \"%1\"").arg(digits.toString()));
        QByteArray bytes(4, Qt::Uninitialized);
        qToLittleEndian(digits.toUInt(nullptr, 16), bytes.data());
        return bytes;
    }

    // rest follows "hex": ":" for REG_BINARY or "(N):" with the type number in hex digits.
    void hexValue(QStringView rest, RegistryValue& value) {
        value.type = RegType::Binary;
        if (rest.startsWith(u'(')) {
            const qsizetype close = rest.indexOf(u')');
            const QStringView number = close > 0 ? rest.mid(1, close - 1) : QStringView();
            if (!isHexDigits(number, 1, 8))
                broken(QStringLiteral("bad value type in \"hex(...)\""));
            value.type = number.toUInt(nullptr, 16);
            rest = rest.mid(close + 1);
        }
        if (!rest.startsWith(u':'))
            broken(QStringLiteral("\":\" expected after \"hex\""));
        const QByteArray bytes = hexBytes(rest.mid(1));
        value.data = platform::isTextType(value.type) ? textData(value.type, bytes) : bytes;
    }

    // Joins continuation lines: a data line ending in "\" goes on in the next line.
    QByteArray hexBytes(QStringView first) {
        QString digits;
        QString next;
        QStringView part = withoutComment(first);
        while (part.endsWith(u'\\')) {
            digits += part.chopped(1);
            const auto line = m_lines.next();
            if (!line)
                broken(QStringLiteral("hex data continues past the end of the file"));
            next = *line;
            part = withoutComment(next);
        }
        digits += part;
        QByteArray bytes;
        const QStringList items = digits.split(u',');
        for (qsizetype i = 0; i < items.size(); ++i) {
            const QString item = items[i].trimmed();
            if (item.isEmpty() && i == items.size() - 1)
                break; // "hex:" alone, or a trailing comma
            if (!isHexDigits(item, 1, 2))
                broken(QStringLiteral("bad hex data \"%1\"").arg(item.left(20)));
            bytes += char(item.toUInt(nullptr, 16));
        }
        return bytes;
    }

    // Stored text is UTF-8 without the terminating NUL of REG_SZ and REG_EXPAND_SZ.
    QByteArray textData(quint32 type, const QByteArray& bytes) const {
        QString text = m_version5 ? fromUtf16le(bytes) : platform::decodeAnsiText(bytes);
        if (type != RegType::MultiSz && text.endsWith(QChar(u'\0')))
            text.chop(1);
        return text.toUtf8();
    }

    LineReader m_lines;
    const std::function<void(const RegFileOp&)>& m_sink;
    bool m_version5 = false;
    int m_statementLine = 0;
    std::optional<std::pair<Hive, QString>> m_key;
    bool m_keyRemoved = false;
};

void apply(platform::RegistryStore& store, const RegFileOp& op) {
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

void exportRegistry(platform::RegistryStore& store, QIODevice& out, const QString& keyName,
                    RegFileFormat format) {
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

void exportRegFile(platform::RegistryStore& store, const QString& fileName, const QString& keyName,
                   RegFileFormat format) {
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly))
        throw RegFileError(
            (QStringLiteral("cannot write ") + quoted(fileName) + QStringLiteral(": ") + file.errorString()));
    exportRegistry(store, file, keyName, format);
    if (!file.commit())
        throw RegFileError(
            (QStringLiteral("cannot write ") + quoted(fileName) + QStringLiteral(": ") + file.errorString()));
}

void parseRegFile(QIODevice& in, const std::function<void(const RegFileOp&)>& sink) {
    RegFileParser(in, sink).run();
}

void importRegFile(platform::RegistryStore& store, const QString& fileName) {
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        throw RegFileError(
            (QStringLiteral("cannot read ") + quoted(fileName) + QStringLiteral(": ") + file.errorString()));
    try {
        store.write([&] { parseRegFile(file, [&](const RegFileOp& op) { apply(store, op); }); });
    } catch (const RegFileError& error) {
        throw RegFileError((quoted(fileName) + u' ' + error.message()));
    }
}

} // namespace stowline
