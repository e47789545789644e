#include "mail/MailSource.h"

#include "archive/IdentityCatalog.h"
#include "archive/ZipDirectoryDigest.h"
#include "backup/modBKIdentityCheck.h"
#include "foundation/RegEdit.h"
#include "foundation/StringIds.h"
#include "foundation/Strings.h"
#include "foundation/modSystemPath.h"
#include "mail/SourceReading.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QSet>
#include <algorithm>

namespace stowline::mail {

namespace {

const QLatin1String FolderListFile{"Folders.dbx"};

// The target of a .url file: the URL= line of its [InternetShortcut] section.
QString shortcutTarget(const QByteArray& content) {
    bool inSection = false;
    for (QByteArray line : content.split('\n')) {
        line = line.trimmed();
        if (line.startsWith('['))
            inSection = line.compare("[InternetShortcut]", Qt::CaseInsensitive) == 0;
        else if (inSection && line.size() > 4 && line.first(4).compare("URL=", Qt::CaseInsensitive) == 0)
            return recordedText(line.sliced(4)).trimmed();
    }
    return {};
}

// The code page the identity's mail settings record for text without a charset.
const QLatin1String CodePageValue{"Default_Codepage"};

bool isStoreFile(const QString& name) {
    static const QStringList notMail{QStringLiteral("Folders.dbx"), QStringLiteral("Pop3uidl.dbx"),
                                     QStringLiteral("Offline.dbx"), QStringLiteral("Cleanup.dbx")};
    return name.endsWith(QStringLiteral(".dbx"), Qt::CaseInsensitive) &&
           !notMail.contains(name, Qt::CaseInsensitive);
}

// The folders as a tree in recorded order below the client's own top folder; records whose parent
// is missing become top folders, and a parent loop cannot repeat a folder.
QList<MailFolder> folderTree(const QList<FolderRecord>& records) {
    QHash<int, QList<int>> children; // parent id -> positions in records
    QSet<int> ids;
    for (const FolderRecord& record : records)
        ids.insert(record.id);
    QList<int> tops;
    for (int i = 0; i < records.size(); ++i) {
        const FolderRecord& record = records[i];
        if (record.parentId == -1)
            continue; // the client's root: its children are the top folders
        const bool parentIsRoot = std::any_of(records.begin(), records.end(), [&](const FolderRecord& r) {
            return r.id == record.parentId && r.parentId == -1;
        });
        if (parentIsRoot || !ids.contains(record.parentId) || record.parentId == record.id)
            tops.append(i);
        else
            children[record.parentId].append(i);
    }
    QList<MailFolder> result;
    QSet<int> done;
    struct Pending {
        int position;
        int parentId;
        QStringList parentPath;
    };
    QList<Pending> stack;
    for (auto it = tops.rbegin(); it != tops.rend(); ++it)
        stack.append({*it, -1, {}});
    while (!stack.isEmpty()) {
        const Pending next = stack.takeLast();
        const FolderRecord& record = records[next.position];
        if (done.contains(record.id))
            continue;
        done.insert(record.id);
        MailFolder folder{record.id, next.parentId, next.parentPath + QStringList{record.name},
                          record.storeFile};
        result.append(folder);
        const QList<int> kids = children.value(record.id);
        for (auto it = kids.rbegin(); it != kids.rend(); ++it)
            stack.append({*it, record.id, folder.path});
    }
    return result;
}

// Without a folder list every store file is a top folder named after the file.
QList<MailFolder> foldersFromFileNames(QStringList names) {
    names.sort(Qt::CaseInsensitive);
    QList<MailFolder> folders;
    for (const QString& name : names)
        if (isStoreFile(name))
            folders.append({int(folders.size()) + 1, -1, {name.chopped(4)}, name});
    return folders;
}

} // namespace

std::optional<FavoriteLink> favoriteFromPath(const QString& relativePath, const QByteArray& content) {
    if (!relativePath.endsWith(QStringLiteral(".url"), Qt::CaseInsensitive))
        return std::nullopt;
    const QString url = shortcutTarget(content);
    if (url.isEmpty())
        return std::nullopt;
    QStringList parts = relativePath.split(QRegularExpression(QStringLiteral("[/\\\\]")), Qt::SkipEmptyParts);
    if (parts.isEmpty())
        return std::nullopt;
    QString name = parts.takeLast();
    name.chop(4);
    return FavoriteLink{parts, name, url};
}

QByteArray charsetInRegFile(const QByteArray& content) {
    const QString text = content.startsWith("\xff\xfe")
                             ? QString::fromUtf16(reinterpret_cast<const char16_t*>(content.constData() + 2),
                                                  (content.size() - 2) / 2)
                             : recordedText(content);
    static const QRegularExpression value(u'"' + CodePageValue +
                                              QStringLiteral("\"=dword:([0-9a-fA-F]{1,8})"),
                                          QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = value.match(text);
    return match.hasMatch() ? CharsetOfCodePage(int(match.captured(1).toUInt(nullptr, 16))) : QByteArray();
}

QList<MailFolder> foldersOf(const QStringList& fileNames,
                            const std::function<std::unique_ptr<ByteSource>(const QString&)>& open) {
    const auto list = std::find_if(fileNames.begin(), fileNames.end(), [](const QString& n) {
        return n.compare(FolderListFile, Qt::CaseInsensitive) == 0;
    });
    if (list != fileNames.end()) {
        if (std::unique_ptr<ByteSource> source = open(*list)) {
            const QList<FolderRecord> records = readFolderTree(*source);
            if (!records.isEmpty())
                return folderTree(records);
        }
    }
    return foldersFromFileNames(fileNames);
}

QString matchingName(const QStringList& names, const QString& wanted) {
    for (const QString& name : names)
        if (name.compare(wanted, Qt::CaseInsensitive) == 0)
            return name;
    return {};
}

namespace {

class ProfileMailSource final : public MailSource {
public:
    explicit ProfileMailSource(IdentityCatalog catalog) : m_catalog(std::move(catalog)) {}

    QString description() const override { return QDir::homePath(); }

    QList<MailIdentity> identities() override {
        QList<MailIdentity> result;
        for (const Identity& identity : m_catalog.all())
            result.append({identity.name, identity.id});
        return result;
    }

    QList<MailFolder> folders(const MailIdentity& identity) override {
        const QString folder = storeFolder(identity);
        if (folder.isEmpty())
            return {};
        return foldersOf(fileNames(folder),
                         [&](const QString& name) { return openFileSource(folder + u'/' + name); });
    }

    std::unique_ptr<DbxStore> openStore(const MailIdentity& identity, const MailFolder& folder,
                                        QString* error) override {
        const QString store = storeFolder(identity);
        const QString name = matchingName(fileNames(store), folder.storeFile);
        std::unique_ptr<ByteSource> source = name.isEmpty() ? nullptr : openFileSource(store + u'/' + name);
        if (!source) {
            if (error)
                *error = Str(name.isEmpty() ? txtStoreMissing : txtStoreUnreadable) + folder.storeFile;
            return nullptr;
        }
        return std::make_unique<DbxStore>(std::move(source));
    }

    QByteArray fingerprint() override {
        QByteArray print = "profile";
        for (const Identity& identity : m_catalog.all()) {
            print += '\n' + identity.id.toUtf8() + ' ' + QFile::encodeName(identity.storeFolder);
            for (const QFileInfo& file : QDir(identity.storeFolder).entryInfoList(QDir::Files, QDir::Name))
                print += '\n' + QFile::encodeName(file.fileName()) + ' ' + QByteArray::number(file.size()) +
                         ' ' + QByteArray::number(file.lastModified().toMSecsSinceEpoch());
        }
        return print;
    }

    QByteArray defaultCharset(const MailIdentity& identity) override {
        RegEdit& reg = regAccess();
        reg.RootKey = RegEdit::HKEY_CURRENT_USER;
        reg.KeyPath = QStringLiteral("Identities\\") + identity.id +
                      QStringLiteral("\\Software\\Microsoft\\Outlook Express\\5.0\\Mail");
        reg.ValueName = CodePageValue;
        if (!reg.Exists(1) || !reg.Exists(0))
            return {};
        reg.ReadValue();
        return CharsetOfCodePage(reg.Value.toInt());
    }

    QList<FavoriteLink> favorites() override {
        QList<FavoriteLink> links;
        const QString root = SystemPath(CSIDL_FAVORITES);
        if (root.isEmpty() || !QFileInfo(root).isDir())
            return links;
        QDirIterator it(root, {QStringLiteral("*.url")}, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            QFile file(path);
            if (file.size() <= (1 << 16) && file.open(QIODevice::ReadOnly))
                if (auto link = favoriteFromPath(QDir(root).relativeFilePath(path), file.readAll()))
                    links.append(*link);
        }
        return links;
    }

private:
    QString storeFolder(const MailIdentity& identity) const {
        for (const Identity& candidate : m_catalog.all())
            if (candidate.id == identity.id)
                return candidate.storeFolder;
        return {};
    }
    static QStringList fileNames(const QString& folder) { return QDir(folder).entryList(QDir::Files); }

    IdentityCatalog m_catalog;
};

} // namespace

QByteArray CharsetOfCodePage(int codePage) {
    switch (codePage) {
    case 65001:
        return "utf-8";
    case 20866:
        return "koi8-r";
    case 21866:
        return "koi8-u";
    case 50220:
    case 50221:
    case 50222:
        return "iso-2022-jp";
    case 932:
        return "shift_jis";
    case 936:
        return "gb2312";
    case 949:
        return "euc-kr";
    case 950:
        return "big5";
    case 51932:
        return "euc-jp";
    default:
        break;
    }
    if (codePage >= 1250 && codePage <= 1258)
        return "windows-" + QByteArray::number(codePage);
    if (codePage >= 28591 && codePage <= 28605)
        return "iso-8859-" + QByteArray::number(codePage - 28590);
    return {};
}

QByteArray MailSource::archiveFingerprint(const QString& archivePath) {
    const QByteArray members = ZipDirectoryDigest(archivePath);
    if (members.isEmpty())
        return {};
    const QFileInfo file(archivePath);
    return "archive " + QFile::encodeName(file.absoluteFilePath()) + ' ' + QByteArray::number(file.size()) +
           ' ' + QByteArray::number(file.lastModified().toMSecsSinceEpoch()) + ' ' + members.toHex();
}

std::unique_ptr<MailSource> MailSource::openRegistry(QString* error) {
    IdentityCatalog catalog;
    Identity_Check(catalog);
    if (error)
        error->clear();
    return std::make_unique<ProfileMailSource>(std::move(catalog));
}

} // namespace stowline::mail
