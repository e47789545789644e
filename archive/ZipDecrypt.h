#pragma once

#include "archive/ZipAes.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <atomic>
#include <memory>
#include <thread>
#include <vector>
#include <zip.h>

namespace stowline {

// The passphrases this process was given for encrypted archives. A reader tries each on an
// encrypted member: the member's password verifier picks the one that fits.
void AddArchivePassphrase(const QByteArray& passphrase);
void ForgetArchivePassphrases();

bool IsEncryptedMember(zip_t* archive, zip_uint64_t index);

// The bytes of a member as packed (still deflated when it is), decrypted, as a seekable zip source;
// an encrypted member's authentication code is checked before the source is handed out. Null with
// error set when it cannot be read: ZIP_ER_NOPASSWD no passphrase is known, ZIP_ER_WRONGPASSWD none
// fits, ZIP_ER_CRC the code does not match (the member was changed), others as libzip's. A plain
// member is handed out as it lies.
zip_source_t* OpenPackedMember(zip_t* archive, zip_uint64_t index, zip_error_t* error);

// One member's content, front to back: libzip reads a plain member (opened with its flags); an
// encrypted member is decrypted and inflated here, whatever the flags.
class MemberReader {
public:
    // How a plain deflated member is inflated: by libzip (zlib), or by the zip component's own
    // inflater (ISA-L where the build has it, several times faster), its CRC then checked here.
    enum class Inflate { ByLibzip, ByCodec };
    MemberReader(zip_t* archive, zip_uint64_t index, zip_flags_t plainFlags = 0,
                 Inflate inflate = Inflate::ByLibzip);
    ~MemberReader();
    MemberReader(const MemberReader&) = delete;
    MemberReader& operator=(const MemberReader&) = delete;

    bool isOpen() const;
    // Why it did not open, or why a read failed.
    const zip_error_t* error() const;
    // Up to length bytes; 0 at the end, -1 on failure.
    zip_int64_t read(void* data, zip_uint64_t length);
    // Moves to a byte of a stored member; false for a compressed one.
    bool seek(qint64 offset);

private:
    struct State;
    std::unique_ptr<State> m_state;
};

// What this process wrote of an encrypted member: the tags of its encrypted bytes as written, by its
// salt and authentication code. The check after writing compares the bytes on disk with them instead
// of computing the code again, and a member that matches counts as authenticated.
void RememberWrittenMember(const QByteArray& saltAndCode, std::vector<zipaes::ChunkTag> tags);
// True when the member was written by this process and its bytes on disk are the ones written; its
// code need not be computed again then. False when it was not written here or differs.
bool MatchesWrittenMember(zip_t* archive, zip_uint64_t index);

// Authenticates the named encrypted members of the archive on threads of its own, the largest first,
// while the caller goes on: opening one of them meanwhile waits for its code instead of computing
// it a second time. Destroying it waits for all. A member that does not check out is left for its
// opening to report.
class AuthenticationAhead {
public:
    AuthenticationAhead(const QString& archivePath, const QStringList& members);
    ~AuthenticationAhead();
    AuthenticationAhead(const AuthenticationAhead&) = delete;
    AuthenticationAhead& operator=(const AuthenticationAhead&) = delete;

private:
    struct Check;
    static std::unique_ptr<Check> claim(zip_t* archive, zip_uint64_t index,
                                        const std::vector<QByteArray>& candidates);
    void work();

    QString m_path;
    std::vector<std::unique_ptr<Check>> m_checks;
    std::atomic<size_t> m_next{0};
    std::vector<std::thread> m_threads;
};

enum class PassphraseFit { NotEncrypted, Fits, Wrong, Unreadable };
// Whether the archive has encrypted members, and whether the passphrase opens them: tried on the
// smallest, authenticated whole, so that a verifier that matches by chance is not taken for it.
PassphraseFit TryArchivePassphrase(const QString& archivePath, const QByteArray& passphrase);

} // namespace stowline
