#include "archive/ZipAes.h"

#include "archive/ZipFormat.h"

#include <QHash>
#include <QtEndian>
#include <algorithm>
#include <cstring>
#include <mutex>
#include <new>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

namespace stowline::zipaes {

namespace {

constexpr int Rounds = 1000;
constexpr size_t KeySize = 32;
constexpr size_t Block = 16;
// Key stream made per call of the cipher: large enough that the call costs nothing, small enough
// for the first level of cache.
constexpr size_t StreamBlocks = 1024;
constexpr quint16 VendorVersion = 2;
constexpr char Strength256 = 3;
// Members whose keys a process keeps: far more than an archive of identities holds.
constexpr qsizetype KeptKeys = 4096;

void check(int ok) {
    if (ok != 1)
        throw std::bad_alloc(); // OpenSSL fails these only when it cannot allocate
}

// The encryption key, the authentication key and the password verifier, in that order.
struct DerivedKeys {
    unsigned char bytes[2 * KeySize + VerifierSize];
};

std::mutex derivedMutex;
QHash<QByteArray, DerivedKeys>& derivedKeys() {
    static QHash<QByteArray, DerivedKeys> keys;
    return keys;
}

void wipeDerivedKeys() {
    for (DerivedKeys& keys : derivedKeys())
        OPENSSL_cleanse(keys.bytes, sizeof keys.bytes);
    derivedKeys().clear();
}

// The 1,000 rounds of PBKDF2 cost as much as authenticating 1.5 MB: a member opened again (an inner
// zip read in place is opened by every step of a restore) takes the keys derived the first time.
DerivedKeys deriveKeys(const QByteArray& passphrase, const Salt& salt) {
    QByteArray id(reinterpret_cast<const char*>(salt.data()), static_cast<qsizetype>(salt.size()));
    id += passphrase;
    {
        const std::lock_guard lock(derivedMutex);
        if (const auto it = derivedKeys().constFind(id); it != derivedKeys().constEnd())
            return *it;
    }
    DerivedKeys keys;
    check(PKCS5_PBKDF2_HMAC(passphrase.constData(), static_cast<int>(passphrase.size()), salt.data(),
                            static_cast<int>(salt.size()), Rounds, EVP_sha1(), sizeof keys.bytes,
                            keys.bytes));
    const std::lock_guard lock(derivedMutex);
    if (derivedKeys().size() >= KeptKeys)
        wipeDerivedKeys();
    derivedKeys().insert(id, keys);
    return keys;
}

} // namespace

QByteArray extraField(quint16 realMethod) {
    QByteArray out;
    zipformat::put16(out, ExtraId);
    zipformat::put16(out, 7);
    zipformat::put16(out, VendorVersion);
    out.append("AE", 2);
    out.append(Strength256);
    zipformat::put16(out, realMethod);
    return out;
}

std::optional<quint16> realMethodOf(const QByteArray& extra) {
    for (qsizetype at = 0; at + 4 <= extra.size();) {
        const quint16 id = zipformat::get16(extra.constData() + at);
        const quint16 size = zipformat::get16(extra.constData() + at + 2);
        const char* field = extra.constData() + at + 4;
        if (id == ExtraId && size == 7 && at + 4 + size <= extra.size()) {
            if (field[2] != 'A' || field[3] != 'E' || field[4] != Strength256)
                return std::nullopt;
            return zipformat::get16(field + 5);
        }
        at += 4 + size;
    }
    return std::nullopt;
}

Salt randomSalt() {
    Salt salt{};
    check(RAND_bytes(salt.data(), static_cast<int>(salt.size())));
    return salt;
}

void forgetDerivedKeys() {
    const std::lock_guard lock(derivedMutex);
    wipeDerivedKeys();
}

struct MemberCipher::Engines {
    EVP_CIPHER_CTX* aes = nullptr;
    EVP_MAC* macType = nullptr;
    EVP_MAC_CTX* mac = nullptr;
    unsigned char authKey[KeySize];
    // The counter blocks (their upper halves stay zero) and the key stream made from them.
    alignas(16) unsigned char counters[StreamBlocks * Block] = {};
    alignas(16) unsigned char stream[StreamBlocks * Block];
    ~Engines() {
        EVP_CIPHER_CTX_free(aes);
        EVP_MAC_CTX_free(mac);
        EVP_MAC_free(macType);
        OPENSSL_cleanse(authKey, sizeof authKey);
    }
    void startCode() {
        char digest[] = "SHA1";
        const OSSL_PARAM params[] = {OSSL_PARAM_construct_utf8_string(OSSL_MAC_PARAM_DIGEST, digest, 0),
                                     OSSL_PARAM_construct_end()};
        check(EVP_MAC_init(mac, authKey, sizeof authKey, params));
    }
};

MemberCipher::MemberCipher(const QByteArray& passphrase, const Salt& salt)
    : m_salt(salt), m_engines(std::make_unique<Engines>()) {
    DerivedKeys derived = deriveKeys(passphrase, salt);
    unsigned char* keys = derived.bytes;
    std::copy_n(keys + 2 * KeySize, VerifierSize, m_verifier.begin());
    std::copy_n(keys + KeySize, KeySize, m_engines->authKey);
    Engines& e = *m_engines;
    e.aes = EVP_CIPHER_CTX_new();
    e.macType = EVP_MAC_fetch(nullptr, "HMAC", nullptr);
    e.mac = e.macType ? EVP_MAC_CTX_new(e.macType) : nullptr;
    if (!e.aes || !e.mac)
        throw std::bad_alloc();
    check(EVP_EncryptInit_ex(e.aes, EVP_aes_256_ecb(), nullptr, keys, nullptr));
    check(EVP_CIPHER_CTX_set_padding(e.aes, 0));
    OPENSSL_cleanse(derived.bytes, sizeof derived.bytes);
    e.startCode();
}

MemberCipher::~MemberCipher() = default;

// Counter mode with the format's counter: the block number plus one, little-endian in the first
// eight bytes of the block, the rest zero. OpenSSL's own counter mode counts big-endian.
void MemberCipher::crypt(const char* in, char* out, size_t size, quint64 offset) {
    unsigned char* counters = m_engines->counters;
    unsigned char* stream = m_engines->stream;
    quint64 block = offset / Block;
    size_t skip = static_cast<size_t>(offset % Block);
    while (size > 0) {
        const size_t blocks = std::min(StreamBlocks, (skip + size + Block - 1) / Block);
        for (size_t i = 0; i < blocks; ++i)
            qToLittleEndian<quint64>(block + i + 1, counters + i * Block);
        int produced = 0;
        check(
            EVP_EncryptUpdate(m_engines->aes, stream, &produced, counters, static_cast<int>(blocks * Block)));
        const size_t used = std::min(size, blocks * Block - skip);
        const unsigned char* key = stream + skip;
        size_t i = 0;
        // Four words a step, which the compiler turns into vector instructions: one word a step took
        // three quarters of the time spent here.
        for (; i + 32 <= used; i += 32) {
            quint64 words[4];
            quint64 keyWords[4];
            std::memcpy(words, in + i, sizeof words);
            std::memcpy(keyWords, key + i, sizeof keyWords);
            for (size_t w = 0; w < 4; ++w)
                words[w] ^= keyWords[w];
            std::memcpy(out + i, words, sizeof words);
        }
        for (; i < used; ++i)
            out[i] = static_cast<char>(in[i] ^ key[i]);
        in += used;
        out += used;
        size -= used;
        block += blocks;
        skip = 0;
    }
}

void MemberCipher::authenticate(const char* data, size_t size) {
    check(EVP_MAC_update(m_engines->mac, reinterpret_cast<const unsigned char*>(data), size));
}

Mac MemberCipher::finishCode() {
    unsigned char full[EVP_MAX_MD_SIZE];
    size_t length = 0;
    check(EVP_MAC_final(m_engines->mac, full, &length, sizeof full));
    m_engines->startCode();
    Mac code{};
    std::copy_n(full, MacSize, code.begin());
    return code;
}

namespace {

const unsigned char* chunkKey() {
    static const std::array<unsigned char, 32> key = [] {
        std::array<unsigned char, 32> drawn{};
        check(RAND_bytes(drawn.data(), static_cast<int>(drawn.size())));
        return drawn;
    }();
    return key.data();
}

} // namespace

struct ChunkMac::Engine {
    EVP_MAC* type = nullptr;
    EVP_MAC_CTX* mac = nullptr;
    ~Engine() {
        EVP_MAC_CTX_free(mac);
        EVP_MAC_free(type);
    }
    // Poly1305 takes its key anew for every message.
    void start() { check(EVP_MAC_init(mac, chunkKey(), 32, nullptr)); }
};

ChunkMac::ChunkMac() : m_engine(std::make_unique<Engine>()) {
    m_engine->type = EVP_MAC_fetch(nullptr, "POLY1305", nullptr);
    m_engine->mac = m_engine->type ? EVP_MAC_CTX_new(m_engine->type) : nullptr;
    if (!m_engine->mac)
        throw std::bad_alloc();
    m_engine->start();
}

ChunkMac::~ChunkMac() = default;

void ChunkMac::add(const char* data, size_t size) {
    check(EVP_MAC_update(m_engine->mac, reinterpret_cast<const unsigned char*>(data), size));
}

ChunkTag ChunkMac::finish() {
    ChunkTag tag{};
    size_t length = 0;
    check(EVP_MAC_final(m_engine->mac, tag.data(), &length, tag.size()));
    m_engine->start();
    return tag;
}

void ChunkTagger::add(const char* data, size_t size) {
    while (size > 0) {
        const size_t n = std::min(size, TaggedChunk - m_filled);
        m_mac.add(data, n);
        data += n;
        size -= n;
        m_filled += n;
        if (m_filled == TaggedChunk) {
            m_tags.push_back(m_mac.finish());
            m_filled = 0;
        }
    }
}

std::vector<ChunkTag> ChunkTagger::finish() {
    if (m_filled > 0)
        m_tags.push_back(m_mac.finish());
    m_filled = 0;
    return std::move(m_tags);
}

} // namespace stowline::zipaes
