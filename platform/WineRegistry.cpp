#include "platform/WineRegistry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace stowline::platform {

namespace {

QString quoted(const QString& text) { return QLatin1Char('"') + text + QLatin1Char('"'); }

QString errorText() { return QString::fromLocal8Bit(strerror(errno)); }

[[noreturn]] void fail(const QString& message) { throw RegistryError(message.toStdString()); }

// A held write lock on byte 0 of the server's lock file means the server is up.
std::optional<pid_t> lockHolder(const QString& lockFile) {
    const int fd = ::open(QFile::encodeName(lockFile).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    struct flock probe {};
    probe.l_type = F_WRLCK;
    probe.l_whence = SEEK_SET;
    probe.l_start = 0;
    probe.l_len = 1;
    const bool asked = fcntl(fd, F_GETLK, &probe) == 0;
    ::close(fd);
    if (!asked || probe.l_type == F_UNLCK)
        return std::nullopt;
    return probe.l_pid;
}

QStringList serverFolders(const QString& prefix) {
    struct stat status {};
    if (::stat(QFile::encodeName(prefix).constData(), &status) != 0)
        return {};
    const QString leaf = QStringLiteral("/server-%1-%2")
                             .arg(qulonglong(status.st_dev), 0, 16)
                             .arg(qulonglong(status.st_ino), 0, 16);
    QStringList folders{QStringLiteral("/tmp/.wine-%1").arg(getuid()) + leaf};
    QFile named(prefix + QStringLiteral("/wineserver"));
    if (named.open(QIODevice::ReadOnly)) {
        const QString name = QString::fromLocal8Bit(named.read(256)).trimmed();
        if (!name.isEmpty() && !name.contains(u'/')) {
            QString tmp = qEnvironmentVariable("TMPDIR");
            for (const QString& root : {tmp, QStringLiteral("/tmp")})
                if (!root.isEmpty())
                    folders << root + u'/' + name + leaf;
        }
    }
    return folders;
}

bool samePlace(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// A wineserver keeps its prefix folder open for as long as it runs.
std::optional<pid_t> serverProcessHolding(const QString& prefix) {
    struct stat wanted {};
    if (::stat(QFile::encodeName(prefix).constData(), &wanted) != 0)
        return std::nullopt;
    const QStringList pids = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& pid : pids) {
        bool numeric = false;
        const pid_t number = pid.toInt(&numeric);
        if (!numeric || number == getpid())
            continue;
        QFile comm(QStringLiteral("/proc/") + pid + QStringLiteral("/comm"));
        if (!comm.open(QIODevice::ReadOnly) || !comm.readAll().startsWith("wineserver"))
            continue;
        const QString fdFolder = QStringLiteral("/proc/") + pid + QStringLiteral("/fd");
        for (const QString& fd :
             QDir(fdFolder).entryList(QDir::Files | QDir::System | QDir::NoDotAndDotDot)) {
            struct stat open {};
            if (::stat(QFile::encodeName(fdFolder + u'/' + fd).constData(), &open) == 0 &&
                samePlace(open, wanted))
                return number;
        }
    }
    return std::nullopt;
}

} // namespace

std::optional<QString> runningWineServer(const QString& prefix) {
    for (const QString& folder : serverFolders(prefix))
        if (const auto pid = lockHolder(folder + QStringLiteral("/lock")))
            return QStringLiteral("wineserver process %1 holds %2")
                .arg(*pid)
                .arg(folder + QStringLiteral("/lock"));
    if (const auto pid = serverProcessHolding(prefix))
        return QStringLiteral("wineserver process %1 has the prefix open").arg(*pid);
    return std::nullopt;
}

// ---- Opening ----------------------------------------------------------------------------------

WineRegistry::WineRegistry(const QString& prefix) : m_prefix(QDir::cleanPath(QDir(prefix).absolutePath())) {
    const QFileInfo folder(m_prefix);
    if (!folder.exists())
        fail(QStringLiteral("Wine prefix %1 does not exist").arg(quoted(m_prefix)));
    if (!folder.isDir())
        fail(QStringLiteral("Wine prefix %1 is not a folder").arg(quoted(m_prefix)));
    m_user.name = m_prefix + QStringLiteral("/user.reg");
    m_system.name = m_prefix + QStringLiteral("/system.reg");
    for (const File* f : {&m_user, &m_system})
        if (!QFileInfo(f->name).isFile())
            fail(QStringLiteral("Wine prefix %1 is not a Wine prefix: %2 is missing (run wineboot once)")
                     .arg(quoted(m_prefix), quoted(f->name)));
    m_folderFd = ::open(QFile::encodeName(m_prefix).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (m_folderFd < 0)
        fail(QStringLiteral("Wine prefix %1 cannot be opened: %2").arg(quoted(m_prefix), errorText()));
    try {
        if (const auto server = runningWineServer(m_prefix))
            fail(QStringLiteral("Wine prefix %1 is in use (%2): close its Windows programs or run "
                                "\"WINEPREFIX=%1 wineserver -k\", then try again")
                     .arg(quoted(m_prefix), *server));
        transaction(LOCK_SH, false, [] {});
    } catch (...) {
        ::close(m_folderFd);
        throw;
    }
}

WineRegistry::~WineRegistry() {
    if (m_folderFd >= 0)
        ::close(m_folderFd);
}

QString WineRegistry::description() const { return QStringLiteral("Wine prefix ") + quoted(m_prefix); }

void WineRegistry::load(File& f) {
    QFile in(f.name);
    if (!in.open(QIODevice::ReadOnly))
        fail(
            QStringLiteral("Wine registry file %1 cannot be read: %2").arg(quoted(f.name), in.errorString()));
    struct stat status {};
    if (::fstat(in.handle(), &status) != 0)
        fail(QStringLiteral("Wine registry file %1 cannot be read: %2").arg(quoted(f.name), errorText()));
    f.content = readWineRegistry(in, f.name);
    f.stamp = Stamp{status.st_dev, status.st_ino, status.st_size,
                    qint64(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec};
}

// Whoever changes a file replaces it (Wine does too), so its inode, size or time tell.
void WineRegistry::reloadChanged() {
    for (File* f : {&m_user, &m_system}) {
        struct stat status {};
        if (::stat(QFile::encodeName(f->name).constData(), &status) != 0)
            fail(
                QStringLiteral("Wine registry file %1 cannot be read: %2").arg(quoted(f->name), errorText()));
        const Stamp now{status.st_dev, status.st_ino, status.st_size,
                        qint64(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec};
        if (!(now == f->stamp) || f->content.hive.changed)
            load(*f);
    }
}

// A temporary file beside the real one, with its mode, renamed over it: a reader sees the old or
// the new file, never half of one.
void WineRegistry::save(File& f) {
    if (const auto server = runningWineServer(m_prefix))
        fail(QStringLiteral("Wine prefix %1 is in use (%2): nothing was written")
                 .arg(quoted(m_prefix), *server));
    const QByteArray text = wineRegistryText(f.content);
    struct stat old {};
    const QByteArray target = QFile::encodeName(f.name);
    const mode_t mode = ::stat(target.constData(), &old) == 0 ? old.st_mode & 07777 : 0644;
    QByteArray temporary = target + ".stowline-XXXXXX";
    const int fd = mkstemp(temporary.data());
    if (fd < 0)
        fail(QStringLiteral("Wine registry file %1 cannot be written: %2").arg(quoted(f.name), errorText()));
    qsizetype done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.constData() + done, size_t(text.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += n;
    }
    const int error = done < text.size() ? errno : 0;
    const bool ok = error == 0 && fchmod(fd, mode) == 0 && fsync(fd) == 0;
    const int lastError = ok ? 0 : (error ? error : errno);
    ::close(fd);
    if (!ok || ::rename(temporary.constData(), target.constData()) != 0) {
        const int cause = ok ? errno : lastError;
        ::unlink(temporary.constData());
        fail(QStringLiteral("Wine registry file %1 cannot be written: %2")
                 .arg(quoted(f.name), QString::fromLocal8Bit(strerror(cause))));
    }
    fsync(m_folderFd);
    f.content.hive.changed = false;
    struct stat status {};
    if (::stat(target.constData(), &status) == 0)
        f.stamp = Stamp{status.st_dev, status.st_ino, status.st_size,
                        qint64(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec};
}

// ---- Transactions -----------------------------------------------------------------------------

void WineRegistry::transaction(int lockOperation, bool writing, const std::function<void()>& work) {
    const std::lock_guard guard(m_mutex);
    if (m_depth > 0) {
        work();
        return;
    }
    while (flock(m_folderFd, lockOperation) != 0)
        if (errno != EINTR)
            fail(QStringLiteral("Wine prefix %1 cannot be locked: %2").arg(quoted(m_prefix), errorText()));
    struct Unlock {
        int fd;
        ~Unlock() { flock(fd, LOCK_UN); }
    } unlock{m_folderFd};
    reloadChanged();
    ++m_depth;
    try {
        work();
    } catch (...) {
        --m_depth;
        // What the work changed in memory is dropped: the next transaction reads the files again.
        throw;
    }
    --m_depth;
    if (!writing)
        return;
    for (File* f : {&m_user, &m_system})
        if (f->content.hive.changed)
            save(*f);
}

void WineRegistry::write(const std::function<void()>& work) { transaction(LOCK_EX, true, work); }

void WineRegistry::read(const std::function<void()>& work) { transaction(LOCK_SH, false, work); }

template <class Work> auto WineRegistry::autoWrite(Work&& work) {
    return returnedBy([this](const std::function<void()>& step) { write(step); }, work);
}

template <class Work> auto WineRegistry::autoRead(Work&& work) {
    return returnedBy([this](const std::function<void()>& step) { read(step); }, work);
}

bool WineRegistry::keyExists(Hive hive, const QString& path) {
    return autoRead([&] { return file(hive).content.hive.keyExists(path); });
}
void WineRegistry::createKey(Hive hive, const QString& path) {
    autoWrite([&] { file(hive).content.hive.createKey(path); });
}
void WineRegistry::deleteKey(Hive hive, const QString& path) {
    autoWrite([&] { file(hive).content.hive.deleteKey(path); });
}
QStringList WineRegistry::subKeys(Hive hive, const QString& path) {
    return autoRead([&] { return file(hive).content.hive.subKeys(path); });
}
int WineRegistry::subKeyCount(Hive hive, const QString& path) {
    return autoRead([&] { return file(hive).content.hive.subKeyCount(path); });
}
std::optional<RegistryValue> WineRegistry::value(Hive hive, const QString& path, const QString& name) {
    return autoRead([&] { return file(hive).content.hive.value(path, name); });
}
QList<RegistryValue> WineRegistry::values(Hive hive, const QString& path) {
    return autoRead([&] { return file(hive).content.hive.values(path); });
}
int WineRegistry::valueCount(Hive hive, const QString& path) {
    return autoRead([&] { return file(hive).content.hive.valueCount(path); });
}
void WineRegistry::setValue(Hive hive, const QString& path, const RegistryValue& value) {
    autoWrite([&] { file(hive).content.hive.setValue(path, value); });
}
bool WineRegistry::deleteValue(Hive hive, const QString& path, const QString& name) {
    return autoWrite([&] { return file(hive).content.hive.deleteValue(path, name); });
}

} // namespace stowline::platform
