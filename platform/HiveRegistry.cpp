#include "platform/HiveRegistry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <hivex.h>
#include <memory>
#include <vector>

namespace stowline::platform {

namespace {

QString quoted(const QString& text) { return QLatin1Char('"') + text + QLatin1Char('"'); }

[[noreturn]] void fail(const QString& message) { throw RegistryError(message.toStdString()); }

struct Freed {
    void operator()(void* p) const { std::free(p); }
};
template <class T> using Owned = std::unique_ptr<T, Freed>;

// The key named by its start: the path of a chain hundreds of levels deep is no message.
std::string beyondLimits(const QString& path, const QString& problem) {
    const QString shown = path.size() > 100 ? path.left(100) + QStringLiteral("...") : path;
    return QString(QStringLiteral("a key in \"") + shown + QStringLiteral("\": ") + problem).toStdString();
}

void loadValues(hive_h* h, hive_node_h node, RegistryTree::Key& key) {
    const Owned<hive_value_h> values(hivex_node_values(h, node));
    if (!values)
        throw RegistryError(std::strerror(errno));
    for (const hive_value_h* v = values.get(); *v; ++v) {
        hive_type type{};
        size_t length = 0;
        const Owned<char> name(hivex_value_key(h, *v));
        const Owned<char> data(hivex_value_value(h, *v, &type, &length));
        if (!name || !data)
            throw RegistryError(std::strerror(errno));
        const QString valueName = QString::fromUtf8(name.get());
        if (const auto problem = valueNameBeyondLimits(valueName))
            throw RegistryError(beyondLimits(RegistryTree::pathOf(key), *problem));
        key.values << NativeValue{valueName, quint32(type), QByteArray(data.get(), qsizetype(length))};
    }
}

// Key by key without recursion: a damaged or hostile hive may chain keys deeper than the stack.
void loadTree(hive_h* h, hive_node_h rootNode, RegistryTree::Key& rootKey) {
    struct Pending {
        hive_node_h node;
        RegistryTree::Key* key;
    };
    std::vector<Pending> pending{{rootNode, &rootKey}};
    while (!pending.empty()) {
        const Pending next = pending.back();
        pending.pop_back();
        loadValues(h, next.node, *next.key);
        const Owned<hive_node_h> children(hivex_node_children(h, next.node));
        if (!children)
            throw RegistryError(std::strerror(errno));
        const QString path = RegistryTree::pathOf(*next.key);
        for (const hive_node_h* c = children.get(); *c; ++c) {
            const Owned<char> name(hivex_node_name(h, *c));
            if (!name)
                throw RegistryError(std::strerror(errno));
            const QString childName = QString::fromUtf8(name.get());
            if (const auto problem = keyPathBeyondLimits(QString(path + u'\\' + childName)))
                throw RegistryError(beyondLimits(path, *problem));
            RegistryTree::Key* child = next.key->addChild(childName, quint64(hivex_node_timestamp(h, *c)));
            pending.push_back({*c, child});
        }
    }
}

} // namespace

HiveRegistry::HiveRegistry(const QString& hiveFile, const QString& windowsRoot)
    : m_file(QDir::cleanPath(QDir(hiveFile).absolutePath())),
      m_windowsRoot(windowsRoot.isEmpty() ? QString() : QDir::cleanPath(QDir(windowsRoot).absolutePath())) {
    if (!QFileInfo(m_file).isFile())
        fail(QStringLiteral("Windows profile hive %1 does not exist").arg(quoted(m_file)));
    if (!m_windowsRoot.isEmpty() && !QFileInfo(m_windowsRoot).isDir())
        fail(QStringLiteral("Windows root %1 is not a folder").arg(quoted(m_windowsRoot)));
    errno = 0;
    hive_h* h = hivex_open(QFile::encodeName(m_file).constData(), 0);
    if (!h)
        fail(QStringLiteral("Windows profile hive %1 cannot be read: %2")
                 .arg(quoted(m_file), errno == ENOTSUP || errno == EINVAL || errno == 0
                                          ? QStringLiteral("not a registry hive file")
                                          : QString::fromLocal8Bit(std::strerror(errno))));
    try {
        loadTree(h, hivex_root(h), m_user.tree.root());
    } catch (const RegistryError& error) {
        hivex_close(h);
        fail(QStringLiteral("Windows profile hive %1 cannot be read: %2")
                 .arg(quoted(m_file), QString::fromUtf8(error.what())));
    }
    hivex_close(h);
}

QString HiveRegistry::description() const { return QStringLiteral("Windows profile hive ") + quoted(m_file); }

PathMapper HiveRegistry::pathMapper() {
    PathMapper mapper;
    if (!m_windowsRoot.isEmpty())
        mapper.addDrive(u'C', m_windowsRoot);
    mapper.setVariable(QStringLiteral("SystemDrive"), QStringLiteral("C:"));
    mapper.setVariable(QStringLiteral("SystemRoot"), QStringLiteral("C:\\Windows"));
    mapper.setVariable(QStringLiteral("windir"), QStringLiteral("C:\\Windows"));
    if (const auto profile = mapper.toRecorded(QFileInfo(m_file).absolutePath())) {
        mapper.setVariable(QStringLiteral("USERPROFILE"), *profile);
        mapper.setVariable(QStringLiteral("HOMEDRIVE"), profile->left(2));
        mapper.setVariable(QStringLiteral("HOMEPATH"), profile->mid(2));
    }
    const QString shellFolders =
        QStringLiteral("Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders");
    for (const auto& [variable, folder] :
         {std::pair{"APPDATA", "AppData"}, std::pair{"LOCALAPPDATA", "Local AppData"}})
        if (const auto found = m_user.value(shellFolders, QString::fromLatin1(folder)))
            mapper.setVariable(QString::fromLatin1(variable), QString::fromUtf8(found->data));
    for (const RegistryValue& value : m_user.values(QStringLiteral("Environment")))
        if (isTextType(value.type) && !value.name.isEmpty())
            mapper.setVariable(value.name, QString::fromUtf8(value.data));
    return mapper;
}

void HiveRegistry::write(const std::function<void()>& work) {
    const std::lock_guard guard(m_mutex);
    work();
}
void HiveRegistry::read(const std::function<void()>& work) {
    const std::lock_guard guard(m_mutex);
    work();
}

bool HiveRegistry::keyExists(Hive hive, const QString& path) {
    const std::lock_guard guard(m_mutex);
    return tree(hive).keyExists(path);
}
void HiveRegistry::createKey(Hive hive, const QString& path) {
    const std::lock_guard guard(m_mutex);
    tree(hive).createKey(path);
}
void HiveRegistry::deleteKey(Hive hive, const QString& path) {
    const std::lock_guard guard(m_mutex);
    tree(hive).deleteKey(path);
}
QStringList HiveRegistry::subKeys(Hive hive, const QString& path) {
    const std::lock_guard guard(m_mutex);
    return tree(hive).subKeys(path);
}
int HiveRegistry::subKeyCount(Hive hive, const QString& path) {
    const std::lock_guard guard(m_mutex);
    return tree(hive).subKeyCount(path);
}
std::optional<RegistryValue> HiveRegistry::value(Hive hive, const QString& path, const QString& name) {
    const std::lock_guard guard(m_mutex);
    return tree(hive).value(path, name);
}
QList<RegistryValue> HiveRegistry::values(Hive hive, const QString& path) {
    const std::lock_guard guard(m_mutex);
    return tree(hive).values(path);
}
int HiveRegistry::valueCount(Hive hive, const QString& path) {
    const std::lock_guard guard(m_mutex);
    return tree(hive).valueCount(path);
}
void HiveRegistry::setValue(Hive hive, const QString& path, const RegistryValue& value) {
    const std::lock_guard guard(m_mutex);
    tree(hive).setValue(path, value);
}
bool HiveRegistry::deleteValue(Hive hive, const QString& path, const QString& name) {
    const std::lock_guard guard(m_mutex);
    return tree(hive).deleteValue(path, name);
}

} // namespace stowline::platform
