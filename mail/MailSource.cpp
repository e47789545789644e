#include "mail/MailSource.h"

#include "archive/ArchiveLayout.h"
#include "archive/IdentityCatalog.h"
#include "archive/ZipDecrypt.h"
#include "archive/ZipLibzip.h"
#include "backup/modBKIdentityCheck.h"
#include "foundation/RegEdit.h"
#include "foundation/StringIds.h"
#include "foundation/Strings.h"
#include "foundation/modSystemPath.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QSet>
#include <QStringDecoder>
#include <algorithm>
#include <cerrno>

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

// The code page the identity's mail settings record for text without a charset.
const QLatin1String CodePageValue{"Default_Codepage"};

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

// ---- a member of a zip, read by offset ----------------------------------------------------------

using SharedZip = std::shared_ptr<zip_t>;

// Deflated members only read forwards: a jump back reopens the member, a jump ahead reads on.
// The store reader asks mostly forwards, so this costs a pass or two over the member, made with the
// zip component's inflater (ISA-L): the first pass lists the store before any message can be read.
class ZipMemberSource final : public ByteSource {
public:
    ZipMemberSource(SharedZip archive, zip_uint64_t index, qint64 size, bool stored)
        : m_archive(std::move(archive)), m_index(index), m_size(size), m_stored(stored) {}
    qint64 size() const override { return m_size; }
    qint64 readAt(qint64 offset, char* into, qint64 length) override {
        if (!seek(offset))
            return -1;
        qint64 done = 0;
        while (done < length) {
            const zip_int64_t n = m_file->read(into + done, zip_uint64_t(length - done));
            if (n < 0)
                return -1;
            if (n == 0)
                break;
            done += n;
        }
        m_position += done;
        return done;
    }

private:
    bool seek(qint64 offset) {
        if (m_file && offset == m_position)
            return true;
        if (m_file && m_stored) {
            if (!m_file->seek(offset))
                return false;
            m_position = offset;
            return true;
        }
        if (!m_file || offset < m_position) {
            m_file =
                std::make_unique<MemberReader>(m_archive.get(), m_index, 0, MemberReader::Inflate::ByCodec);
            m_position = 0;
            if (!m_file->isOpen())
                return false;
        }
        static thread_local QByteArray scratch(1 << 16, Qt::Uninitialized);
        while (m_position < offset) {
            const zip_int64_t n = m_file->read(
                scratch.data(), zip_uint64_t(std::min<qint64>(scratch.size(), offset - m_position)));
            if (n <= 0)
                return false;
            m_position += n;
        }
        return true;
    }

    SharedZip m_archive;
    zip_uint64_t m_index;
    qint64 m_size;
    bool m_stored;
    std::unique_ptr<MemberReader> m_file;
    qint64 m_position = 0;
};

QByteArray readWholeMember(zip_t* archive, zip_uint64_t index, qint64 limit) {
    zip_stat_t stat;
    zip_stat_init(&stat);
    if (zip_stat_index(archive, index, 0, &stat) != 0 || qint64(stat.size) > limit)
        return {};
    MemberReader file(archive, index);
    if (!file.isOpen())
        return {};
    QByteArray data(qsizetype(stat.size), Qt::Uninitialized);
    for (zip_uint64_t done = 0; done < stat.size;) {
        const zip_int64_t n = file.read(data.data() + done, stat.size - done);
        if (n <= 0)
            return {};
        done += zip_uint64_t(n);
    }
    return data;
}

QString memberName(zip_t* archive, zip_uint64_t index) {
    const char* name = zip_get_name(archive, index, ZIP_FL_ENC_GUESS);
    return name ? QString::fromUtf8(name) : QString();
}

// libzip reads an inner zip through this: a member of the outer archive as a seekable source.
// A deflated member seeks back by reading again from its start (ZipMemberSource).
struct MemberSourceState {
    std::unique_ptr<ByteSource> bytes;
    qint64 position = 0;
    zip_error_t error;
};

zip_int64_t memberSourceCallback(void* userdata, void* data, zip_uint64_t length, zip_source_cmd_t command) {
    auto* state = static_cast<MemberSourceState*>(userdata);
    switch (command) {
    case ZIP_SOURCE_OPEN:
        state->position = 0;
        return 0;
    case ZIP_SOURCE_READ: {
        const qint64 n = state->bytes->readAt(state->position, static_cast<char*>(data), qint64(length));
        if (n < 0) {
            zip_error_set(&state->error, ZIP_ER_READ, EIO);
            return -1;
        }
        state->position += n;
        return n;
    }
    case ZIP_SOURCE_CLOSE:
        return 0;
    case ZIP_SOURCE_STAT: {
        auto* stat = static_cast<zip_stat_t*>(data);
        zip_stat_init(stat);
        stat->size = zip_uint64_t(state->bytes->size());
        stat->valid |= ZIP_STAT_SIZE;
        return sizeof(zip_stat_t);
    }
    case ZIP_SOURCE_ERROR:
        return zip_error_to_data(&state->error, data, length);
    case ZIP_SOURCE_FREE:
        zip_error_fini(&state->error);
        delete state;
        return 0;
    case ZIP_SOURCE_SEEK: {
        const zip_int64_t target = zip_source_seek_compute_offset(
            zip_uint64_t(state->position), zip_uint64_t(state->bytes->size()), data, length, &state->error);
        if (target < 0)
            return -1;
        state->position = target;
        return 0;
    }
    case ZIP_SOURCE_TELL:
        return state->position;
    case ZIP_SOURCE_SUPPORTS:
        return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE,
                                              ZIP_SOURCE_STAT, ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE,
                                              ZIP_SOURCE_SEEK, ZIP_SOURCE_TELL, ZIP_SOURCE_SUPPORTS, -1);
    default:
        zip_error_set(&state->error, ZIP_ER_OPNOTSUPP, 0);
        return -1;
    }
}

// An inner zip, read where it lies in the outer one: in place when stored, else through the
// member's inflated bytes. Null when it is missing or no zip.
SharedZip openInnerZip(const SharedZip& outer, const QString& name) {
    const zip_int64_t index = zip_name_locate(outer.get(), name.toUtf8().constData(), ZIP_FL_NOCASE);
    if (index < 0)
        return nullptr;
    zip_stat_t stat;
    zip_stat_init(&stat);
    if (zip_stat_index(outer.get(), zip_uint64_t(index), 0, &stat) != 0)
        return nullptr;
    zip_source_t* source = nullptr;
    zip_error_t error;
    zip_error_init(&error);
    if (stat.comp_method == ZIP_CM_STORE) {
        source = OpenPackedMember(outer.get(), zip_uint64_t(index), &error);
    } else {
        auto* state = new MemberSourceState;
        state->bytes =
            std::make_unique<ZipMemberSource>(outer, zip_uint64_t(index), qint64(stat.size), false);
        zip_error_init(&state->error);
        source = zip_source_function_create(memberSourceCallback, state, &error);
        if (!source) {
            zip_error_fini(&state->error);
            delete state;
        }
    }
    zip_t* inner = source ? zip_open_from_source(source, ZIP_RDONLY, &error) : nullptr;
    zip_error_fini(&error);
    if (!inner) {
        if (source)
            zip_source_free(source);
        return nullptr;
    }
    // The inner archive reads through the outer one, so it keeps the outer one alive.
    return SharedZip(inner, [outer](zip_t* z) { zip_discard(z); });
}

// The archive's size, time and a hash of its member list, read from its central directory alone.
QByteArray fingerprintOf(const QString& path, zip_t* archive) {
    const QFileInfo file(path);
    QCryptographicHash members(QCryptographicHash::Sha256);
    const zip_int64_t count = zip_get_num_entries(archive, 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        zip_stat_t stat;
        zip_stat_init(&stat);
        if (zip_stat_index(archive, zip_uint64_t(i), 0, &stat) != 0)
            continue;
        members.addData(QByteArray(
            QByteArray(stat.name ? stat.name : "") + '\0' + QByteArray::number(quint64(stat.size)) + ' ' +
            QByteArray::number(quint64(stat.comp_size)) + ' ' + QByteArray::number(stat.crc) + ' ' +
            QByteArray::number(qint64(stat.mtime)) + '\n'));
    }
    return "archive " + QFile::encodeName(file.absoluteFilePath()) + ' ' + QByteArray::number(file.size()) +
           ' ' + QByteArray::number(file.lastModified().toMSecsSinceEpoch()) + ' ' + members.result().toHex();
}

class ArchiveMailSource final : public MailSource {
public:
    ArchiveMailSource(QString path, SharedZip archive)
        : m_path(std::move(path)), m_archive(std::move(archive)) {}

    QString description() const override { return m_path; }

    QList<MailIdentity> identities() override {
        QList<MailIdentity> result;
        const zip_int64_t index = zip_name_locate(
            m_archive.get(), QByteArray(layout::IdentityIndexFile.data()).constData(), ZIP_FL_NOCASE);
        if (index < 0)
            return result;
        for (const QByteArray& line :
             readWholeMember(m_archive.get(), zip_uint64_t(index), 1 << 20).split('\n')) {
            const std::optional<layout::IdentityRecord> record =
                layout::ParseIdentityRecord(recordedText(line).remove(u'\r'));
            if (record && !record->id.isEmpty())
                result.append({record->name.isEmpty() ? record->id : record->name, record->id});
        }
        return result;
    }

    QList<MailFolder> folders(const MailIdentity& identity) override {
        const Store* store = storeOf(identity);
        if (!store)
            return {};
        return foldersOf(store->names.keys(),
                         [&](const QString& name) { return memberSource(*store, name); });
    }

    std::unique_ptr<DbxStore> openStore(const MailIdentity& identity, const MailFolder& folder,
                                        QString* error) override {
        const Store* store = storeOf(identity);
        const QString name = store ? matchingName(store->names.keys(), folder.storeFile) : QString();
        if (name.isEmpty()) {
            if (error)
                *error = Str(txtStoreMissing) + folder.storeFile;
            return nullptr;
        }
        return std::make_unique<DbxStore>(memberSource(*store, name));
    }

    QByteArray fingerprint() override { return fingerprintOf(m_path, m_archive.get()); }

    QByteArray defaultCharset(const MailIdentity& identity) override {
        const zip_int64_t index = zip_name_locate(
            m_archive.get(), layout::IdentityKeyMember(identity.id).toUtf8().constData(), ZIP_FL_NOCASE);
        return index < 0 ? QByteArray()
                         : charsetInRegFile(readWholeMember(m_archive.get(), zip_uint64_t(index), 16 << 20));
    }

    QList<FavoriteLink> favorites() override {
        QList<FavoriteLink> links;
        const SharedZip inner = openInnerZip(m_archive, QString(layout::IefDataMember));
        if (!inner)
            return links;
        const zip_int64_t count = zip_get_num_entries(inner.get(), 0);
        for (zip_int64_t i = 0; i < count; ++i)
            if (auto link = favoriteFromPath(memberName(inner.get(), zip_uint64_t(i)),
                                             readWholeMember(inner.get(), zip_uint64_t(i), 1 << 16)))
                links.append(*link);
        return links;
    }

private:
    struct Store {
        SharedZip zip;
        QMap<QString, zip_uint64_t> names; // store file name -> member index
    };

    const Store* storeOf(const MailIdentity& identity) {
        auto it = m_stores.find(identity.id);
        if (it == m_stores.end()) {
            Store store;
            store.zip = openInnerZip(m_archive, layout::IdentityDataMember(identity.id));
            const zip_int64_t count = store.zip ? zip_get_num_entries(store.zip.get(), 0) : 0;
            for (zip_int64_t i = 0; i < count; ++i) {
                const QString name = memberName(store.zip.get(), zip_uint64_t(i));
                // Store files lie at the top of the identity's zip.
                if (!name.isEmpty() && !name.contains(u'/') && !name.contains(u'\\'))
                    store.names.insert(name, zip_uint64_t(i));
            }
            it = m_stores.insert(identity.id, store);
        }
        return it->zip ? &*it : nullptr;
    }

    std::unique_ptr<ByteSource> memberSource(const Store& store, const QString& name) {
        const zip_uint64_t index = store.names.value(name);
        zip_stat_t stat;
        zip_stat_init(&stat);
        if (zip_stat_index(store.zip.get(), index, 0, &stat) != 0)
            return nullptr;
        return std::make_unique<ZipMemberSource>(store.zip, index, qint64(stat.size),
                                                 stat.comp_method == ZIP_CM_STORE);
    }

    QString m_path;
    SharedZip m_archive;
    QHash<QString, Store> m_stores;
};

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
    const ZipArchiveHandle handle = TryOpenZipForReading(archivePath);
    return handle ? fingerprintOf(archivePath, handle.get()) : QByteArray();
}

std::unique_ptr<MailSource> MailSource::openArchive(const QString& archivePath, QString* error) {
    ZipArchiveHandle handle = TryOpenZipForReading(archivePath);
    if (!handle) {
        if (error)
            *error = Str(txtMailArchiveUnreadable) + archivePath;
        return nullptr;
    }
    SharedZip archive(handle.release(), [](zip_t* z) { zip_discard(z); });
    auto source = std::make_unique<ArchiveMailSource>(archivePath, archive);
    if (source->identities().isEmpty() && source->favorites().isEmpty()) {
        if (error)
            *error = Str(txtArchiveWithoutMail) + archivePath;
        return nullptr;
    }
    return source;
}

std::unique_ptr<MailSource> MailSource::openRegistry(QString* error) {
    IdentityCatalog catalog;
    Identity_Check(catalog);
    if (error)
        error->clear();
    return std::make_unique<ProfileMailSource>(std::move(catalog));
}

} // namespace stowline::mail
