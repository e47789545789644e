#include "archive/ArchiveLayout.h"
#include "archive/ZipDecrypt.h"
#include "archive/ZipLibzip.h"
#include "foundation/StringIds.h"
#include "foundation/Strings.h"
#include "mail/MailSource.h"
#include "mail/SourceReading.h"

#include <QHash>
#include <QMap>
#include <algorithm>
#include <cerrno>

// An archive's mail, read in place from its inner zips; kept apart from the profile's source so a
// search of a built index links no zip reader.

namespace stowline::mail {

namespace {

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

    QByteArray fingerprint() override { return archiveFingerprint(m_path); }

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

} // namespace

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

} // namespace stowline::mail
