#include "archive/ZipDecrypt.h"

#include "archive/ZipAes.h"
#include "archive/ZipCodec.h"
#include "archive/ZipLibzip.h"

#include <QHash>
#include <QSet>
#include <algorithm>
#include <cstring>
#include <mutex>
#include <optional>
#include <vector>

namespace stowline {

namespace {

constexpr size_t ReadPiece = 256 * 1024;

std::mutex passphrasesMutex;
std::vector<QByteArray>& passphrases() {
    static std::vector<QByteArray> known;
    return known;
}

std::vector<QByteArray> knownPassphrases() {
    const std::lock_guard lock(passphrasesMutex);
    return passphrases();
}

// Members whose code was checked with a passphrase, by salt, code, size and passphrase: an inner
// zip read in place by several workers is authenticated once, not once by each.
std::mutex authenticatedMutex;
QSet<QByteArray>& authenticated() {
    static QSet<QByteArray> members;
    return members;
}

void copyError(zip_error_t* to, const zip_error_t* from) {
    zip_error_set(to, zip_error_code_zip(from), zip_error_code_system(from));
}

bool statOf(zip_t* archive, zip_uint64_t index, zip_stat_t& stat) {
    zip_stat_init(&stat);
    return zip_stat_index(archive, index, 0, &stat) == 0;
}

bool readExactly(zip_source_t* source, void* data, zip_uint64_t length) {
    auto* out = static_cast<char*>(data);
    while (length > 0) {
        const zip_int64_t got = zip_source_read(source, out, length);
        if (got <= 0)
            return false;
        out += got;
        length -= static_cast<zip_uint64_t>(got);
    }
    return true;
}

// An encrypted member's bytes as a seekable source of their decryption.
struct DecryptedSource {
    zip_source_t* raw = nullptr; // the member as it lies, open
    std::unique_ptr<zipaes::MemberCipher> cipher;
    zip_uint64_t size = 0;                     // of the data between header and code
    zip_uint64_t offset = 0;                   // where the next read starts, in the data
    zip_uint64_t rawOffset = ~zip_uint64_t{0}; // where raw stands
    zip_error_t error{};
};

zip_int64_t readDecrypted(DecryptedSource& source, void* data, zip_uint64_t length) {
    const zip_uint64_t wanted = std::min(length, source.size - std::min(source.offset, source.size));
    if (wanted == 0)
        return 0;
    const zip_uint64_t at = zipaes::HeaderSize + source.offset;
    if (source.rawOffset != at && zip_source_seek(source.raw, static_cast<zip_int64_t>(at), SEEK_SET) != 0) {
        copyError(&source.error, zip_source_error(source.raw));
        return -1;
    }
    if (!readExactly(source.raw, data, wanted)) {
        zip_error_set(&source.error, ZIP_ER_READ, 0);
        source.rawOffset = ~zip_uint64_t{0};
        return -1;
    }
    source.cipher->crypt(static_cast<char*>(data), wanted, source.offset);
    source.offset += wanted;
    source.rawOffset = at + wanted;
    return static_cast<zip_int64_t>(wanted);
}

zip_int64_t decryptedCommand(void* state, void* data, zip_uint64_t length, zip_source_cmd_t command) {
    DecryptedSource& source = *static_cast<DecryptedSource*>(state);
    switch (command) {
    case ZIP_SOURCE_OPEN:
        source.offset = 0;
        return 0;
    case ZIP_SOURCE_READ:
        return readDecrypted(source, data, length);
    case ZIP_SOURCE_CLOSE:
        return 0;
    case ZIP_SOURCE_STAT: {
        auto* stat = static_cast<zip_stat_t*>(data);
        zip_stat_init(stat);
        stat->size = source.size;
        stat->valid = ZIP_STAT_SIZE;
        return sizeof(zip_stat_t);
    }
    case ZIP_SOURCE_ERROR:
        return zip_error_to_data(&source.error, data, length);
    case ZIP_SOURCE_FREE:
        zip_source_close(source.raw);
        zip_source_free(source.raw);
        zip_error_fini(&source.error);
        delete &source;
        return 0;
    case ZIP_SOURCE_SEEK: {
        const zip_int64_t at =
            zip_source_seek_compute_offset(source.offset, source.size, data, length, &source.error);
        if (at < 0)
            return -1;
        source.offset = static_cast<zip_uint64_t>(at);
        return 0;
    }
    case ZIP_SOURCE_TELL:
        return static_cast<zip_int64_t>(source.offset);
    case ZIP_SOURCE_SUPPORTS:
        return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE,
                                              ZIP_SOURCE_STAT, ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE,
                                              ZIP_SOURCE_SEEK, ZIP_SOURCE_TELL, ZIP_SOURCE_SUPPORTS, -1);
    default:
        zip_error_set(&source.error, ZIP_ER_OPNOTSUPP, 0);
        return -1;
    }
}

// The cipher of the first passphrase whose verifier matches the member's.
std::unique_ptr<zipaes::MemberCipher>
cipherFor(const unsigned char* header, const std::vector<QByteArray>& candidates, QByteArray& fitting) {
    zipaes::Salt salt{};
    std::copy_n(header, zipaes::SaltSize, salt.begin());
    for (const QByteArray& passphrase : candidates) {
        auto cipher = std::make_unique<zipaes::MemberCipher>(passphrase, salt);
        const auto verifier = cipher->verifier();
        if (std::equal(verifier.begin(), verifier.end(), header + zipaes::SaltSize)) {
            fitting = passphrase;
            return cipher;
        }
    }
    return nullptr;
}

bool codeMatches(zip_source_t* raw, zipaes::MemberCipher& cipher, zip_uint64_t dataSize,
                 const zipaes::Mac& stored) {
    if (zip_source_seek(raw, static_cast<zip_int64_t>(zipaes::HeaderSize), SEEK_SET) != 0)
        return false;
    std::vector<char> piece(ReadPiece);
    for (zip_uint64_t left = dataSize; left > 0;) {
        const zip_uint64_t n = std::min<zip_uint64_t>(left, piece.size());
        if (!readExactly(raw, piece.data(), n))
            return false;
        cipher.authenticate(piece.data(), n);
        left -= n;
    }
    return cipher.finishCode() == stored;
}

QByteArray authenticationKey(const unsigned char* header, const zipaes::Mac& code, zip_uint64_t size,
                             const QByteArray& passphrase) {
    QByteArray key(reinterpret_cast<const char*>(header), zipaes::HeaderSize);
    key.append(reinterpret_cast<const char*>(code.data()), code.size());
    key.append(reinterpret_cast<const char*>(&size), sizeof size);
    return key + passphrase;
}

struct RawMember {
    zip_source_t* source = nullptr;
    ~RawMember() {
        if (source) {
            zip_source_close(source);
            zip_source_free(source);
        }
    }
};

zip_source_t* openDecrypted(zip_t* archive, zip_uint64_t index, const zip_stat_t& stat,
                            const std::vector<QByteArray>& candidates, zip_error_t* error) {
    if (stat.encryption_method != ZIP_EM_AES_256) {
        zip_error_set(error, ZIP_ER_ENCRNOTSUPP, 0);
        return nullptr;
    }
    if (stat.comp_size < zipaes::Overhead) {
        zip_error_set(error, ZIP_ER_INCONS, 0);
        return nullptr;
    }
    RawMember raw{zip_source_zip(archive, archive, index, ZIP_FL_ENCRYPTED, 0, -1)};
    if (!raw.source || zip_source_open(raw.source) != 0) {
        if (raw.source)
            zip_source_free(std::exchange(raw.source, nullptr));
        copyError(error, zip_get_error(archive));
        return nullptr;
    }
    const zip_uint64_t dataSize = stat.comp_size - zipaes::Overhead;
    unsigned char header[zipaes::HeaderSize];
    zipaes::Mac stored{};
    if (!readExactly(raw.source, header, sizeof header) ||
        zip_source_seek(raw.source, -static_cast<zip_int64_t>(zipaes::MacSize), SEEK_END) != 0 ||
        !readExactly(raw.source, stored.data(), stored.size())) {
        zip_error_set(error, ZIP_ER_READ, 0);
        return nullptr;
    }
    QByteArray fitting;
    std::unique_ptr<zipaes::MemberCipher> cipher = cipherFor(header, candidates, fitting);
    if (!cipher) {
        zip_error_set(error, candidates.empty() ? ZIP_ER_NOPASSWD : ZIP_ER_WRONGPASSWD, 0);
        return nullptr;
    }
    const QByteArray checked = authenticationKey(header, stored, dataSize, fitting);
    bool known = false;
    {
        const std::lock_guard lock(authenticatedMutex);
        known = authenticated().contains(checked);
    }
    if (!known && !codeMatches(raw.source, *cipher, dataSize, stored)) {
        zip_error_set(error, ZIP_ER_CRC, 0);
        return nullptr;
    }
    if (!known) {
        const std::lock_guard lock(authenticatedMutex);
        authenticated().insert(checked);
    }
    auto* state = new DecryptedSource;
    state->raw = std::exchange(raw.source, nullptr);
    state->cipher = std::move(cipher);
    state->size = dataSize;
    zip_error_init(&state->error);
    zip_source_t* source = zip_source_function_create(decryptedCommand, state, error);
    if (!source)
        decryptedCommand(state, nullptr, 0, ZIP_SOURCE_FREE);
    return source;
}

std::mutex writtenMutex;
QHash<QByteArray, quint32>& writtenMembers() {
    static QHash<QByteArray, quint32> members;
    return members;
}

} // namespace

void RememberWrittenMember(const QByteArray& saltAndCode, quint32 storedCrc) {
    const std::lock_guard lock(writtenMutex);
    writtenMembers().insert(saltAndCode, storedCrc);
}

bool MatchesWrittenMember(zip_t* archive, zip_uint64_t index) {
    zip_stat_t stat;
    if (!statOf(archive, index, stat) || stat.encryption_method == ZIP_EM_NONE ||
        stat.comp_size < zipaes::Overhead)
        return false;
    RawMember raw{zip_source_zip(archive, archive, index, ZIP_FL_ENCRYPTED, 0, -1)};
    if (!raw.source || zip_source_open(raw.source) != 0) {
        if (raw.source)
            zip_source_free(std::exchange(raw.source, nullptr));
        return false;
    }
    std::vector<char> piece(ReadPiece);
    QByteArray header;
    zipaes::Mac code{};
    quint32 crc = 0;
    for (zip_uint64_t done = 0; done < stat.comp_size;) {
        const zip_uint64_t n = std::min<zip_uint64_t>(stat.comp_size - done, piece.size());
        if (!readExactly(raw.source, piece.data(), n))
            return false;
        if (done == 0)
            header = QByteArray(piece.data(),
                                static_cast<qsizetype>(std::min<zip_uint64_t>(n, zipaes::HeaderSize)));
        crc = Crc32(crc, piece.data(), n);
        done += n;
        if (done == stat.comp_size && n >= zipaes::MacSize)
            std::copy_n(piece.data() + n - zipaes::MacSize, zipaes::MacSize, code.begin());
    }
    const QByteArray key =
        header.left(zipaes::SaltSize) + QByteArray(reinterpret_cast<const char*>(code.data()), code.size());
    std::optional<quint32> written;
    {
        const std::lock_guard lock(writtenMutex);
        if (const auto it = writtenMembers().constFind(key); it != writtenMembers().constEnd())
            written = *it;
    }
    if (!written || *written != crc)
        return false;
    // Bytes this process encrypted and authenticated itself, on disk unchanged: open without a second pass.
    const std::vector<QByteArray> candidates = knownPassphrases();
    QByteArray fitting;
    if (header.size() < static_cast<qsizetype>(zipaes::HeaderSize) ||
        !cipherFor(reinterpret_cast<const unsigned char*>(header.constData()), candidates, fitting))
        return false;
    const std::lock_guard lock(authenticatedMutex);
    authenticated().insert(authenticationKey(reinterpret_cast<const unsigned char*>(header.constData()), code,
                                             stat.comp_size - zipaes::Overhead, fitting));
    return true;
}

void AddArchivePassphrase(const QByteArray& passphrase) {
    const std::lock_guard lock(passphrasesMutex);
    auto& known = passphrases();
    if (!passphrase.isEmpty() && std::find(known.begin(), known.end(), passphrase) == known.end())
        known.insert(known.begin(), passphrase);
}

void ForgetArchivePassphrases() {
    const std::lock_guard lock(passphrasesMutex);
    passphrases().clear();
}

bool IsEncryptedMember(zip_t* archive, zip_uint64_t index) {
    zip_stat_t stat;
    return statOf(archive, index, stat) && (stat.valid & ZIP_STAT_ENCRYPTION_METHOD) &&
           stat.encryption_method != ZIP_EM_NONE;
}

zip_source_t* OpenPackedMember(zip_t* archive, zip_uint64_t index, zip_error_t* error) {
    zip_stat_t stat;
    if (!statOf(archive, index, stat)) {
        copyError(error, zip_get_error(archive));
        return nullptr;
    }
    if (stat.encryption_method != ZIP_EM_NONE)
        return openDecrypted(archive, index, stat, knownPassphrases(), error);
    zip_source_t* source = zip_source_zip(archive, archive, index, ZIP_FL_COMPRESSED, 0, -1);
    if (!source)
        copyError(error, zip_get_error(archive));
    return source;
}

struct MemberReader::State {
    zip_error_t error{};
    ZipFileHandle plain;
    zip_source_t* packed = nullptr;
    std::unique_ptr<MemberInflater> inflater;
    std::vector<char> raw;
    std::vector<char> pending;
    size_t pendingAt = 0;
    bool packedEnd = false;
    zip_uint64_t expected = 0;
    zip_uint64_t produced = 0;
    std::optional<quint32> expectedCrc; // a plain member's, checked once all of it is read
    quint32 crc = 0;

    ~State() {
        if (packed) {
            zip_source_close(packed);
            zip_source_free(packed);
        }
        zip_error_fini(&error);
    }

    zip_int64_t fail(int code) {
        zip_error_set(&error, code, 0);
        return -1;
    }

    // Inflates the next piece into pending; false on damage.
    bool fill() {
        pending.clear();
        pendingAt = 0;
        const zip_int64_t got = zip_source_read(packed, raw.data(), raw.size());
        if (got < 0)
            return false;
        if (got == 0) {
            packedEnd = true;
            return inflater->finished();
        }
        return inflater->feed(raw.data(), static_cast<size_t>(got), [&](const char* data, size_t size) {
            pending.insert(pending.end(), data, data + size);
        });
    }

    zip_int64_t readPacked(void* data, zip_uint64_t length) {
        zip_int64_t got = 0;
        if (!inflater) {
            got = zip_source_read(packed, data, length);
            if (got < 0)
                return fail(ZIP_ER_READ);
        } else {
            while (pendingAt == pending.size() && !packedEnd)
                if (!fill())
                    return fail(ZIP_ER_INCONS);
            got = static_cast<zip_int64_t>(std::min<size_t>(length, pending.size() - pendingAt));
            std::memcpy(data, pending.data() + pendingAt, static_cast<size_t>(got));
            pendingAt += static_cast<size_t>(got);
        }
        produced += static_cast<zip_uint64_t>(got);
        if ((got == 0 && length > 0 && produced != expected) || produced > expected)
            return fail(ZIP_ER_INCONS);
        if (expectedCrc) {
            crc = Crc32(crc, static_cast<const char*>(data), static_cast<size_t>(got));
            if (produced == expected && crc != *expectedCrc)
                return fail(ZIP_ER_CRC);
        }
        return got;
    }
};

MemberReader::MemberReader(zip_t* archive, zip_uint64_t index, zip_flags_t plainFlags, Inflate inflate)
    : m_state(std::make_unique<State>()) {
    State& s = *m_state;
    zip_error_init(&s.error);
    zip_stat_t stat;
    const bool encrypted = IsEncryptedMember(archive, index);
    const bool byCodec = !encrypted && inflate == Inflate::ByCodec && plainFlags == 0 &&
                         statOf(archive, index, stat) && stat.comp_method == ZIP_CM_DEFLATE &&
                         (stat.valid & ZIP_STAT_CRC);
    if (byCodec)
        s.expectedCrc = stat.crc;
    else if (!encrypted || !statOf(archive, index, stat)) {
        s.plain.reset(zip_fopen_index(archive, index, plainFlags));
        if (!s.plain)
            copyError(&s.error, zip_get_error(archive));
        return;
    }
    if (stat.comp_method != ZIP_CM_STORE && stat.comp_method != ZIP_CM_DEFLATE) {
        zip_error_set(&s.error, ZIP_ER_COMPNOTSUPP, 0);
        return;
    }
    s.packed = OpenPackedMember(archive, index, &s.error);
    if (s.packed && zip_source_open(s.packed) != 0) {
        zip_source_free(std::exchange(s.packed, nullptr));
        zip_error_set(&s.error, ZIP_ER_READ, 0);
    }
    s.expected = stat.size;
    if (stat.comp_method == ZIP_CM_DEFLATE) {
        s.inflater = MemberInflater::create();
        s.raw.resize(ReadPiece);
    }
}

MemberReader::~MemberReader() = default;

bool MemberReader::isOpen() const { return m_state->plain || m_state->packed; }

const zip_error_t* MemberReader::error() const {
    return m_state->plain && zip_error_code_zip(&m_state->error) == ZIP_ER_OK
               ? zip_file_get_error(m_state->plain.get())
               : &m_state->error;
}

zip_int64_t MemberReader::read(void* data, zip_uint64_t length) {
    if (m_state->plain)
        return zip_fread(m_state->plain.get(), data, length);
    if (!m_state->packed)
        return -1;
    return m_state->readPacked(data, length);
}

bool MemberReader::seek(qint64 offset) {
    State& s = *m_state;
    if (s.plain)
        return zip_fseek(s.plain.get(), offset, SEEK_SET) == 0;
    if (!s.packed || s.inflater || zip_source_seek(s.packed, offset, SEEK_SET) != 0)
        return false;
    s.produced = static_cast<zip_uint64_t>(offset);
    return true;
}

PassphraseFit TryArchivePassphrase(const QString& archivePath, const QByteArray& passphrase) {
    const ZipArchiveHandle archive = TryOpenZipForReading(archivePath);
    if (!archive)
        return PassphraseFit::Unreadable;
    std::optional<zip_uint64_t> smallest;
    zip_uint64_t smallestSize = 0;
    const zip_int64_t count = zip_get_num_entries(archive.get(), 0);
    for (zip_uint64_t i = 0; i < static_cast<zip_uint64_t>(std::max<zip_int64_t>(count, 0)); ++i) {
        zip_stat_t stat;
        if (statOf(archive.get(), i, stat) && stat.encryption_method != ZIP_EM_NONE &&
            (!smallest || stat.comp_size < smallestSize)) {
            smallest = i;
            smallestSize = stat.comp_size;
        }
    }
    if (!smallest)
        return PassphraseFit::NotEncrypted;
    if (passphrase.isEmpty())
        return PassphraseFit::Wrong;
    zip_stat_t stat;
    statOf(archive.get(), *smallest, stat);
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = openDecrypted(archive.get(), *smallest, stat, {passphrase}, &error);
    const int code = zip_error_code_zip(&error);
    zip_error_fini(&error);
    if (source) {
        zip_source_free(source);
        return PassphraseFit::Fits;
    }
    return code == ZIP_ER_WRONGPASSWD ? PassphraseFit::Wrong : PassphraseFit::Unreadable;
}

} // namespace stowline
