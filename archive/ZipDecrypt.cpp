#include "archive/ZipDecrypt.h"

#include "archive/PhaseLog.h"
#include "archive/ZipAes.h"
#include "archive/ZipCodec.h"
#include "archive/ZipLibzip.h"

#include <QHash>
#include <QThread>
#include <algorithm>
#include <cstring>
#include <functional>
#include <future>
#include <map>
#include <mutex>
#include <openssl/crypto.h>
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

// The tags of an authenticated member's encrypted bytes, chunk by chunk: a read of the member checks
// the bytes it takes from the file against them. Null for a member that did not authenticate.
using Authenticated = std::shared_ptr<const std::vector<zipaes::ChunkTag>>;

Authenticated tagsOf(zipaes::ChunkTagger& tagger) {
    return std::make_shared<const std::vector<zipaes::ChunkTag>>(tagger.finish());
}

// Members whose code was checked with a passphrase, by salt, code, size and passphrase: an inner
// zip read in place by several workers is authenticated once, not once by each.
std::mutex authenticatedMutex;
QHash<QByteArray, Authenticated>& authenticated() {
    static QHash<QByteArray, Authenticated> members;
    return members;
}

// Authentications under way, by the same key, under the same mutex: an open of a member that is being
// authenticated waits for that result instead of computing the code a second time beside it.
std::map<QByteArray, std::shared_future<Authenticated>>& runningChecks() {
    static std::map<QByteArray, std::shared_future<Authenticated>> checks;
    return checks;
}

// The member's authentication, if nobody has done it or is doing it: the caller then settles it.
std::optional<std::promise<Authenticated>> claimCheck(const QByteArray& checked) {
    const std::lock_guard lock(authenticatedMutex);
    if (authenticated().contains(checked) || runningChecks().count(checked))
        return std::nullopt;
    std::promise<Authenticated> promise;
    runningChecks().emplace(checked, promise.get_future().share());
    return promise;
}

void settleCheck(const QByteArray& checked, std::promise<Authenticated>& promise, const Authenticated& tags) {
    {
        const std::lock_guard lock(authenticatedMutex);
        runningChecks().erase(checked);
        if (tags)
            authenticated().insert(checked, tags);
    }
    promise.set_value(tags);
}

Authenticated settleWith(const QByteArray& checked, std::promise<Authenticated>& promise,
                         const std::function<Authenticated()>& compare) {
    Authenticated tags;
    try {
        tags = compare();
    } catch (...) {
        settleCheck(checked, promise, nullptr);
        throw;
    }
    settleCheck(checked, promise, tags);
    return tags;
}

// The member's tags once its code matches, computed once in the process. When the one computing it
// beside this did not find it matching (or could not read it), it is computed here again, for the
// failure this reader itself meets.
Authenticated checkedOnce(const QByteArray& checked, const std::function<Authenticated()>& compare) {
    std::shared_future<Authenticated> running;
    {
        const std::lock_guard lock(authenticatedMutex);
        if (const auto it = authenticated().constFind(checked); it != authenticated().constEnd())
            return *it;
        if (const auto it = runningChecks().find(checked); it != runningChecks().end())
            running = it->second;
    }
    if (running.valid()) {
        Authenticated tags = running.get();
        return tags ? tags : compare();
    }
    std::optional<std::promise<Authenticated>> promise = claimCheck(checked);
    return promise ? settleWith(checked, *promise, compare) : checkedOnce(checked, compare);
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

struct SourceClose {
    void operator()(zip_source_t* source) const {
        zip_source_close(source);
        zip_source_free(source);
    }
};
using OpenSource = std::unique_ptr<zip_source_t, SourceClose>;

// The member's bytes as they lie, open at offset. libzip sums the CRC of a stored member read on from
// its first byte, though an AE-2 member carries none: its data is read from a source placed past the
// salt before its first read, which spares a sum that costs four times the read.
OpenSource openRaw(zip_t* archive, zip_uint64_t index, zip_uint64_t offset, zip_error_t* error) {
    zip_source_t* source = zip_source_zip(archive, archive, index, ZIP_FL_ENCRYPTED, 0, -1);
    if (!source || zip_source_open(source) != 0) {
        copyError(error, source ? zip_source_error(source) : zip_get_error(archive));
        zip_source_free(source);
        return nullptr;
    }
    OpenSource open(source);
    if (offset > 0 && zip_source_seek(source, static_cast<zip_int64_t>(offset), SEEK_SET) != 0) {
        copyError(error, zip_source_error(source));
        return nullptr;
    }
    return open;
}

// The salt and verifier before an encrypted member's data, and the code after it.
bool readEnds(zip_t* archive, zip_uint64_t index, unsigned char (&header)[zipaes::HeaderSize],
              zipaes::Mac& code, zip_error_t* error) {
    const OpenSource raw = openRaw(archive, index, 0, error);
    if (!raw)
        return false;
    if (!readExactly(raw.get(), header, sizeof header) ||
        zip_source_seek(raw.get(), -static_cast<zip_int64_t>(zipaes::MacSize), SEEK_END) != 0 ||
        !readExactly(raw.get(), code.data(), code.size())) {
        zip_error_set(error, ZIP_ER_READ, 0);
        return false;
    }
    return true;
}

constexpr zip_uint64_t Nowhere = ~zip_uint64_t{0};
// The most read from the file at once: a piece asked for at any offset stays one read.
constexpr size_t WindowSize = ReadPiece + zipaes::TaggedChunk;

// An encrypted member's bytes as a seekable source of their decryption. The file is read in whole
// chunks, and they are decrypted only once each matches its tag.
struct DecryptedSource {
    zip_source_t* raw = nullptr; // the member as it lies, open
    std::unique_ptr<zipaes::MemberCipher> cipher;
    Authenticated tags;
    zipaes::ChunkMac mac;
    std::vector<char> window;         // encrypted, checked
    zip_uint64_t windowStart = 0;     // where it starts, in the data
    zip_uint64_t windowBytes = 0;     // how much it holds
    zip_uint64_t size = 0;            // of the data between header and code
    zip_uint64_t offset = 0;          // where the next read starts, in the data
    zip_uint64_t rawOffset = Nowhere; // where raw stands
    zip_error_t error{};
};

bool chunkMatches(DecryptedSource& source, zip_uint64_t index, const char* bytes, size_t length) {
    source.mac.add(bytes, length);
    const zipaes::ChunkTag tag = source.mac.finish();
    return index < source.tags->size() &&
           CRYPTO_memcmp(tag.data(), (*source.tags)[index].data(), tag.size()) == 0;
}

// Fills the window with the chunks from the one at the offset on to the one that holds end - 1,
// as many as fit, each checked against its tag.
bool loadWindow(DecryptedSource& source, zip_uint64_t end) {
    constexpr zip_uint64_t Chunk = zipaes::TaggedChunk;
    const zip_uint64_t start = source.offset / Chunk * Chunk;
    const zip_uint64_t stop =
        std::min({source.size, (end + Chunk - 1) / Chunk * Chunk, start + source.window.size()});
    source.windowBytes = 0;
    const zip_uint64_t at = zipaes::HeaderSize + start;
    if (source.rawOffset != at && zip_source_seek(source.raw, static_cast<zip_int64_t>(at), SEEK_SET) != 0) {
        copyError(&source.error, zip_source_error(source.raw));
        source.rawOffset = Nowhere;
        return false;
    }
    if (!readExactly(source.raw, source.window.data(), stop - start)) {
        zip_error_set(&source.error, ZIP_ER_READ, 0);
        source.rawOffset = Nowhere;
        return false;
    }
    source.rawOffset = zipaes::HeaderSize + stop;
    for (zip_uint64_t chunk = start; chunk < stop; chunk += Chunk) {
        // Not the bytes that were authenticated: the file changed since.
        if (!chunkMatches(source, chunk / Chunk, source.window.data() + (chunk - start),
                          static_cast<size_t>(std::min(Chunk, stop - chunk)))) {
            zip_error_set(&source.error, ZIP_ER_CRC, 0);
            return false;
        }
    }
    source.windowStart = start;
    source.windowBytes = stop - start;
    return true;
}

zip_int64_t readDecrypted(DecryptedSource& source, void* data, zip_uint64_t length) {
    const zip_uint64_t wanted = std::min(length, source.size - std::min(source.offset, source.size));
    auto* out = static_cast<char*>(data);
    for (zip_uint64_t done = 0; done < wanted;) {
        const bool inWindow =
            source.offset >= source.windowStart && source.offset < source.windowStart + source.windowBytes;
        if (!inWindow && !loadWindow(source, source.offset + (wanted - done)))
            return -1;
        const zip_uint64_t within = source.offset - source.windowStart;
        const auto n = static_cast<size_t>(std::min(wanted - done, source.windowBytes - within));
        source.cipher->crypt(source.window.data() + within, out + done, n, source.offset);
        source.offset += n;
        done += n;
    }
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

// The member's tags when its code matches the stored one, taken from the same bytes as the code.
Authenticated authenticate(zip_source_t* raw, zipaes::MemberCipher& cipher, zip_uint64_t dataSize,
                           const zipaes::Mac& stored) {
    if (zip_source_seek(raw, static_cast<zip_int64_t>(zipaes::HeaderSize), SEEK_SET) != 0)
        return nullptr;
    std::vector<char> piece(ReadPiece);
    zipaes::ChunkTagger tagger;
    for (zip_uint64_t left = dataSize; left > 0;) {
        const zip_uint64_t n = std::min<zip_uint64_t>(left, piece.size());
        if (!readExactly(raw, piece.data(), n))
            return nullptr;
        cipher.authenticate(piece.data(), n);
        tagger.add(piece.data(), n);
        left -= n;
    }
    return cipher.finishCode() == stored ? tagsOf(tagger) : nullptr;
}

QByteArray authenticationKey(const unsigned char* header, const zipaes::Mac& code, zip_uint64_t size,
                             const QByteArray& passphrase) {
    QByteArray key(reinterpret_cast<const char*>(header), zipaes::HeaderSize);
    key.append(reinterpret_cast<const char*>(code.data()), code.size());
    key.append(reinterpret_cast<const char*>(&size), sizeof size);
    return key + passphrase;
}

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
    const zip_uint64_t dataSize = stat.comp_size - zipaes::Overhead;
    unsigned char header[zipaes::HeaderSize];
    zipaes::Mac stored{};
    if (!readEnds(archive, index, header, stored, error))
        return nullptr;
    QByteArray fitting;
    std::unique_ptr<zipaes::MemberCipher> cipher = cipherFor(header, candidates, fitting);
    if (!cipher) {
        zip_error_set(error, candidates.empty() ? ZIP_ER_NOPASSWD : ZIP_ER_WRONGPASSWD, 0);
        return nullptr;
    }
    OpenSource raw = openRaw(archive, index, zipaes::HeaderSize, error);
    if (!raw)
        return nullptr;
    const QByteArray checked = authenticationKey(header, stored, dataSize, fitting);
    Authenticated tags =
        checkedOnce(checked, [&] { return authenticate(raw.get(), *cipher, dataSize, stored); });
    if (!tags) {
        zip_error_set(error, ZIP_ER_CRC, 0);
        return nullptr;
    }
    auto* state = new DecryptedSource;
    state->raw = raw.release();
    state->cipher = std::move(cipher);
    state->tags = std::move(tags);
    state->window.resize(static_cast<size_t>(std::min<zip_uint64_t>(WindowSize, dataSize)));
    state->size = dataSize;
    zip_error_init(&state->error);
    zip_source_t* source = zip_source_function_create(decryptedCommand, state, error);
    if (!source)
        decryptedCommand(state, nullptr, 0, ZIP_SOURCE_FREE);
    return source;
}

std::mutex writtenMutex;
QHash<QByteArray, Authenticated>& writtenMembers() {
    static QHash<QByteArray, Authenticated> members;
    return members;
}

} // namespace

void RememberWrittenMember(const QByteArray& saltAndCode, std::vector<zipaes::ChunkTag> tags) {
    auto kept = std::make_shared<const std::vector<zipaes::ChunkTag>>(std::move(tags));
    const std::lock_guard lock(writtenMutex);
    writtenMembers().insert(saltAndCode, std::move(kept));
}

bool MatchesWrittenMember(zip_t* archive, zip_uint64_t index) {
    zip_stat_t stat;
    if (!statOf(archive, index, stat) || stat.encryption_method == ZIP_EM_NONE ||
        stat.comp_size < zipaes::Overhead)
        return false;
    zip_error_t error;
    zip_error_init(&error);
    unsigned char header[zipaes::HeaderSize];
    zipaes::Mac code{};
    const bool endsRead = readEnds(archive, index, header, code, &error);
    const OpenSource raw = endsRead ? openRaw(archive, index, zipaes::HeaderSize, &error) : nullptr;
    zip_error_fini(&error);
    if (!raw)
        return false;
    const QByteArray key = QByteArray(reinterpret_cast<const char*>(header), zipaes::SaltSize) +
                           QByteArray(reinterpret_cast<const char*>(code.data()), code.size());
    Authenticated written;
    {
        const std::lock_guard lock(writtenMutex);
        written = writtenMembers().value(key);
    }
    if (!written)
        return false;
    const zip_uint64_t dataSize = stat.comp_size - zipaes::Overhead;
    std::vector<char> piece(ReadPiece);
    zipaes::ChunkTagger tagger;
    for (zip_uint64_t left = dataSize; left > 0;) {
        const zip_uint64_t n = std::min<zip_uint64_t>(left, piece.size());
        if (!readExactly(raw.get(), piece.data(), n))
            return false;
        tagger.add(piece.data(), n);
        left -= n;
    }
    if (tagger.finish() != *written)
        return false;
    // Bytes this process encrypted and authenticated itself, on disk unchanged: open without a second pass.
    QByteArray fitting;
    if (!cipherFor(header, knownPassphrases(), fitting))
        return false;
    const std::lock_guard lock(authenticatedMutex);
    authenticated().insert(authenticationKey(header, code, dataSize, fitting), written);
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
    zipaes::forgetDerivedKeys();
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

    // A changed encrypted member says so; any other failure to read the packed bytes is otherwise.
    zip_int64_t failedRead(int otherwise) {
        return fail(zip_error_code_zip(zip_source_error(packed)) == ZIP_ER_CRC ? ZIP_ER_CRC : otherwise);
    }

    // Inflates the next piece into pending; -1 when it cannot be read or is damaged, with why in error.
    zip_int64_t fill() {
        pending.clear();
        pendingAt = 0;
        const zip_int64_t got = zip_source_read(packed, raw.data(), raw.size());
        if (got < 0)
            return failedRead(ZIP_ER_INCONS);
        packedEnd = got == 0;
        const bool sound = packedEnd ? inflater->finished()
                                     : inflater->feed(raw.data(), static_cast<size_t>(got),
                                                      [&](const char* data, size_t size) {
                                                          pending.insert(pending.end(), data, data + size);
                                                      });
        return sound ? 0 : fail(ZIP_ER_INCONS);
    }

    zip_int64_t readPacked(void* data, zip_uint64_t length) {
        zip_int64_t got = 0;
        if (!inflater) {
            got = zip_source_read(packed, data, length);
            if (got < 0)
                return failedRead(ZIP_ER_READ);
        } else {
            while (pendingAt == pending.size() && !packedEnd)
                if (fill() < 0)
                    return -1;
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

// One member to authenticate ahead, claimed for this.
struct AuthenticationAhead::Check {
    zip_uint64_t index = 0;
    zip_uint64_t dataSize = 0;
    zipaes::Mac code{};
    std::unique_ptr<zipaes::MemberCipher> cipher;
    QByteArray checked;
    std::promise<Authenticated> promise;
    bool pending = false; // claimed, not begun
    // One never begun (the run failed first) releases whoever waits for it, to check it alone.
    ~Check() {
        if (pending)
            settleCheck(checked, promise, nullptr);
    }
};

AuthenticationAhead::AuthenticationAhead(const QString& archivePath, const QStringList& members)
    : m_path(archivePath) {
    const ZipArchiveHandle archive = TryOpenZipForReading(archivePath);
    const std::vector<QByteArray> candidates = knownPassphrases();
    for (const QString& member : members) {
        const zip_int64_t at = archive ? zip_name_locate(archive.get(), member.toUtf8().constData(), 0) : -1;
        if (auto check = at < 0 ? nullptr : claim(archive.get(), static_cast<zip_uint64_t>(at), candidates))
            m_checks.push_back(std::move(check));
    }
    // The largest first, so that they end together.
    std::sort(m_checks.begin(), m_checks.end(),
              [](const auto& a, const auto& b) { return a->dataSize > b->dataSize; });
    const auto threads = std::min<size_t>(m_checks.size(), static_cast<size_t>(QThread::idealThreadCount()));
    for (size_t i = 0; i < threads; ++i)
        m_threads.emplace_back([this] { work(); });
}

AuthenticationAhead::~AuthenticationAhead() {
    for (std::thread& thread : m_threads)
        thread.join();
}

std::unique_ptr<AuthenticationAhead::Check>
AuthenticationAhead::claim(zip_t* archive, zip_uint64_t index, const std::vector<QByteArray>& candidates) {
    zip_stat_t stat;
    zip_error_t error;
    zip_error_init(&error);
    auto check = std::make_unique<Check>();
    unsigned char header[zipaes::HeaderSize];
    QByteArray fitting;
    const bool readable = statOf(archive, index, stat) && stat.encryption_method == ZIP_EM_AES_256 &&
                          stat.comp_size >= zipaes::Overhead &&
                          readEnds(archive, index, header, check->code, &error);
    zip_error_fini(&error);
    if (!readable || !(check->cipher = cipherFor(header, candidates, fitting)))
        return nullptr;
    check->index = index;
    check->dataSize = stat.comp_size - zipaes::Overhead;
    check->checked = authenticationKey(header, check->code, check->dataSize, fitting);
    std::optional<std::promise<Authenticated>> promise = claimCheck(check->checked);
    if (!promise)
        return nullptr;
    check->promise = std::move(*promise);
    check->pending = true;
    return check;
}

void AuthenticationAhead::work() {
    const PhaseLog phase("authenticate ahead");
    const ZipArchiveHandle archive = TryOpenZipForReading(m_path);
    for (size_t k = m_next++; k < m_checks.size(); k = m_next++) {
        Check& check = *m_checks[k];
        check.pending = false;
        settleWith(check.checked, check.promise, [&] {
            zip_error_t error;
            zip_error_init(&error);
            const OpenSource raw =
                archive ? openRaw(archive.get(), check.index, zipaes::HeaderSize, &error) : nullptr;
            zip_error_fini(&error);
            return raw ? authenticate(raw.get(), *check.cipher, check.dataSize, check.code) : nullptr;
        });
    }
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
