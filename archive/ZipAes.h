#pragma once

#include <QByteArray>
#include <QtGlobal>
#include <array>
#include <cstddef>
#include <memory>
#include <optional>
#include <vector>

// The WinZip AES format (AE-2) of an encrypted zip member: a random salt and a password verifier
// before the data, AES-256 in counter mode over it, and an HMAC-SHA1 code of the encrypted bytes
// after it. The CRC stays 0: the code authenticates every byte instead.
namespace stowline::zipaes {

constexpr quint16 MethodAes = 99;
constexpr quint16 ExtraId = 0x9901;
constexpr quint16 FlagEncrypted = 0x0001;
constexpr quint16 VersionNeeded = 51;
constexpr size_t SaltSize = 16;
constexpr size_t VerifierSize = 2;
constexpr size_t MacSize = 10;
constexpr size_t HeaderSize = SaltSize + VerifierSize;
constexpr quint64 Overhead = HeaderSize + MacSize;

using Salt = std::array<unsigned char, SaltSize>;
using Mac = std::array<unsigned char, MacSize>;

// The 0x9901 extra field: vendor version 2, "AE", strength 3 (AES-256), the member's real method.
QByteArray extraField(quint16 realMethod);

// The member's real method from its extra field; none when the field is missing or not AES-256.
std::optional<quint16> realMethodOf(const QByteArray& extra);

Salt randomSalt();

// Wipes the keys derived so far: members opened afterwards derive theirs again.
void forgetDerivedKeys();

// The keys of one member: derived from the passphrase and the member's salt once in a process, however
// often the member is opened (by the writer, the check after writing and each reader of a restore).
class MemberCipher {
public:
    MemberCipher(const QByteArray& passphrase, const Salt& salt);
    ~MemberCipher();
    MemberCipher(const MemberCipher&) = delete;
    MemberCipher& operator=(const MemberCipher&) = delete;

    const Salt& salt() const { return m_salt; }
    std::array<unsigned char, VerifierSize> verifier() const { return m_verifier; }

    // XORs the key stream from the member's data offset onto the bytes: encrypts and decrypts alike.
    void crypt(char* data, size_t size, quint64 offset) { crypt(data, data, size, offset); }
    // The same from in to out (which may be the same bytes), sparing a copy before it.
    void crypt(const char* in, char* out, size_t size, quint64 offset);
    // Feeds encrypted bytes to the authentication code, in order.
    void authenticate(const char* data, size_t size);
    // The code of every byte fed; the feeding starts over afterwards.
    Mac finishCode();

private:
    struct Engines;
    Salt m_salt;
    std::array<unsigned char, VerifierSize> m_verifier{};
    std::unique_ptr<Engines> m_engines;
};

// Encrypted bytes between their authentication and their use are tagged in chunks of this size.
constexpr size_t TaggedChunk = 64 * 1024;
using ChunkTag = std::array<unsigned char, 16>;

// Poly1305 under a key drawn once a process. Its tags never leave the process, so that one secret key
// may serve every chunk: whoever changes the file cannot compute the tag of the bytes put in.
class ChunkMac {
public:
    ChunkMac();
    ~ChunkMac();
    ChunkMac(const ChunkMac&) = delete;
    ChunkMac& operator=(const ChunkMac&) = delete;

    void add(const char* data, size_t size);
    // The tag of every byte added; the adding starts over afterwards.
    ChunkTag finish();

private:
    struct Engine;
    std::unique_ptr<Engine> m_engine;
};

// The tags of bytes fed in order, in chunks counted from the first byte fed.
class ChunkTagger {
public:
    void add(const char* data, size_t size);
    std::vector<ChunkTag> finish();

private:
    ChunkMac m_mac;
    std::vector<ChunkTag> m_tags;
    size_t m_filled = 0;
};

} // namespace stowline::zipaes
