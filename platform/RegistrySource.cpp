#include "platform/RegistrySource.h"

#include "platform/HiveRegistry.h"
#include "platform/RegistryStore.h"
#include "platform/WineRegistry.h"

#include <QDir>
#include <QFileInfo>
#include <memory>

namespace stowline::platform {

namespace {

constexpr char WinePrefixVariable[] = "STOWLINE_WINEPREFIX";
constexpr char ProfileVariable[] = "STOWLINE_PROFILE";
constexpr char WindowsRootVariable[] = "STOWLINE_WINDOWS_ROOT";

std::unique_ptr<Registry> g_registry;
std::unique_ptr<PathMapper> g_mapper;

QString quoted(const QString& text) { return QLatin1Char('"') + text + QLatin1Char('"'); }

std::optional<QString> text(Registry& registry, Hive hive, const QString& key, const QString& name) {
    const auto found = registry.value(hive, key, name);
    if (!found || !isTextType(found->type))
        return std::nullopt;
    return QString::fromUtf8(found->data);
}

void copyVariables(PathMapper& mapper, Registry& registry, Hive hive, const QString& key) {
    for (const RegistryValue& value : registry.values(hive, key))
        if (isTextType(value.type) && !value.name.isEmpty())
            mapper.setVariable(value.name, QString::fromUtf8(value.data));
}

void open() {
    const RegistrySource source = registrySource();
    switch (source.kind) {
    case RegistrySource::Kind::Store:
        g_registry = std::make_unique<RegistryStore>(source.location);
        g_mapper = std::make_unique<PathMapper>(PathMapper::native());
        return;
    case RegistrySource::Kind::WinePrefix: {
        auto wine = std::make_unique<WineRegistry>(source.location);
        g_mapper = std::make_unique<PathMapper>(winePathMapper(wine->prefix(), *wine));
        g_registry = std::move(wine);
        return;
    }
    case RegistrySource::Kind::Profile: {
        auto hive = std::make_unique<HiveRegistry>(source.location, source.windowsRoot);
        g_mapper = std::make_unique<PathMapper>(hive->pathMapper());
        g_registry = std::move(hive);
        return;
    }
    }
}

} // namespace

QString registryFileName() {
    const QString explicitFile = qEnvironmentVariable("STOWLINE_REGISTRY");
    if (!explicitFile.isEmpty())
        return explicitFile;
    QString dataHome = qEnvironmentVariable("XDG_DATA_HOME");
    if (dataHome.isEmpty() || QDir::isRelativePath(dataHome))
        dataHome = QDir::homePath() + QStringLiteral("/.local/share");
    return dataHome + QStringLiteral("/stowline/registry.db");
}

RegistrySource registrySource() {
    const QString prefix = qEnvironmentVariable(WinePrefixVariable);
    if (!prefix.isEmpty())
        return {RegistrySource::Kind::WinePrefix, prefix, {}};
    const QString profile = qEnvironmentVariable(ProfileVariable);
    if (!profile.isEmpty())
        return {RegistrySource::Kind::Profile, profile, qEnvironmentVariable(WindowsRootVariable)};
    return {RegistrySource::Kind::Store, registryFileName(), {}};
}

void chooseRegistrySource(const RegistrySource& source) {
    const auto absolute = [](const QString& path) {
        return path.isEmpty() ? path : QDir(path).absolutePath();
    };
    qunsetenv(WinePrefixVariable);
    qunsetenv(ProfileVariable);
    qunsetenv(WindowsRootVariable);
    if (source.kind == RegistrySource::Kind::WinePrefix)
        qputenv(WinePrefixVariable, QFile::encodeName(absolute(source.location)));
    if (source.kind == RegistrySource::Kind::Profile) {
        qputenv(ProfileVariable, QFile::encodeName(absolute(source.location)));
        qputenv(WindowsRootVariable, QFile::encodeName(absolute(source.windowsRoot)));
    }
    reopenRegistry();
}

Registry& registry() {
    if (!g_registry)
        open();
    return *g_registry;
}

const PathMapper& pathMapper() {
    registry();
    return *g_mapper;
}

void reopenRegistry() {
    g_registry.reset();
    g_mapper.reset();
}

PathMapper winePathMapper(const QString& prefix, Registry& registry) {
    PathMapper mapper;
    const QString devices = prefix + QStringLiteral("/dosdevices");
    const QStringList links = QDir(devices).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& link : links) {
        if (link.size() != 2 || link[1] != u':' || !link[0].isLetter())
            continue;
        const QFileInfo info(devices + u'/' + link);
        if (!info.exists())
            throw RegistryError(
                QStringLiteral("Wine prefix %1: the drive link %2 leads to %3, which does not exist; "
                               "mount it or remove the link")
                    .arg(quoted(prefix), quoted(info.filePath()), quoted(info.symLinkTarget()))
                    .toStdString());
        mapper.addDrive(link[0], QDir::cleanPath(info.isSymLink() ? info.symLinkTarget() : info.filePath()));
    }
    mapper.setVariable(QStringLiteral("SystemRoot"), QStringLiteral("C:\\windows"));
    mapper.setVariable(QStringLiteral("windir"), QStringLiteral("C:\\windows"));
    mapper.setVariable(QStringLiteral("SystemDrive"), QStringLiteral("C:"));
    copyVariables(mapper, registry, Hive::LocalMachine,
                  QStringLiteral("System\\CurrentControlSet\\Control\\Session Manager\\Environment"));
    copyVariables(mapper, registry, Hive::CurrentUser, QStringLiteral("Environment"));
    copyVariables(mapper, registry, Hive::CurrentUser, QStringLiteral("Volatile Environment"));
    if (!text(registry, Hive::CurrentUser, QStringLiteral("Volatile Environment"),
              QStringLiteral("USERPROFILE")))
        mapper.setVariable(QStringLiteral("USERPROFILE"),
                           QStringLiteral("C:\\users\\") + qEnvironmentVariable("USER"));
    return mapper;
}

} // namespace stowline::platform
