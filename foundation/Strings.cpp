#include "foundation/Strings.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QHash>
#include <QLibraryInfo>
#include <QLocale>
#include <QStringList>
#include <QTextStream>
#include <QTranslator>

namespace stowline {

namespace {

struct Entry {
    QString text;
    QByteArray written; // as the table file holds it, escapes included: the key of its translation
};

struct StringTable {
    QHash<int, Entry> texts;
    QStringList problems;
};

// "\r", "\n", "\t" and "\\" in a table line stand for the characters themselves.
QString unescape(QStringView raw) {
    QString text;
    text.reserve(raw.size());
    for (qsizetype i = 0; i < raw.size(); ++i) {
        if (raw[i] != u'\\' || i + 1 == raw.size()) {
            text += raw[i];
            continue;
        }
        const QChar next = raw[++i];
        if (next == u'r')
            text += u'\r';
        else if (next == u'n')
            text += u'\n';
        else if (next == u't')
            text += u'\t';
        else
            text += next;
    }
    return text;
}

void loadFile(const QString& path, StringTable& table) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        table.problems << QStringLiteral("cannot read ") + path;
        return;
    }
    QTextStream in(&file);
    in.setEncoding(QStringConverter::Utf8);
    int lineNumber = 0;
    while (!in.atEnd()) {
        const QString line = in.readLine();
        ++lineNumber;
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        const qsizetype tab = line.indexOf(u'\t');
        bool ok = false;
        const int id = tab > 0 ? line.left(tab).toInt(&ok) : 0;
        const QString where = path + u':' + QString::number(lineNumber);
        if (!ok) {
            table.problems << where + QStringLiteral(": expected <number><TAB><text>");
            continue;
        }
        if (table.texts.contains(id))
            table.problems << where + QStringLiteral(": number %1 used twice").arg(id);
        const QStringView written = QStringView(line).mid(tab + 1);
        table.texts.insert(id, {unescape(written), written.toUtf8()});
    }
}

const StringTable& table() {
    static const StringTable loaded = [] {
        StringTable t;
        const QDir dir(QStringLiteral(":/strings"));
        for (const QString& name : dir.entryList({QStringLiteral("*.txt")}, QDir::Files, QDir::Name))
            loadFile(dir.filePath(name), t);
        return t;
    }();
    return loaded;
}

} // namespace

QString Str(int id) {
    const auto it = table().texts.constFind(id);
    if (it != table().texts.constEnd()) {
        const QString translated = QCoreApplication::translate("StringTable", it->written.constData(),
                                                               QByteArray::number(id).constData());
        // translate() hands back the English as written when no translation is loaded.
        return translated.toUtf8() == it->written ? it->text : unescape(translated);
    }
    qWarning("string table: no text number %d", id);
    return QStringLiteral("#") + QString::number(id);
}

bool InstallTranslation(const QLocale& locale) {
    static QTranslator* strings = nullptr;
    static QTranslator* toolkit = nullptr;
    for (QTranslator** translator : {&strings, &toolkit}) {
        if (*translator)
            QCoreApplication::removeTranslator(*translator);
        delete *translator;
        *translator = new QTranslator;
    }
    // The toolkit's own texts (standard buttons, file dialogs) where Debian's qt6-translations-l10n is.
    if (toolkit->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
                      QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(toolkit);
    if (!strings->load(locale, QStringLiteral("stowline"), QStringLiteral("_"), QStringLiteral(":/i18n")))
        return false;
    QCoreApplication::installTranslator(strings);
    return true;
}

QStringList stringTableProblems() {
    QStringList problems = table().problems;
    if (table().texts.isEmpty())
        problems << QStringLiteral("the string table is empty");
    return problems;
}

} // namespace stowline
