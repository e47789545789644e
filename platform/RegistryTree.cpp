#include "platform/RegistryTree.h"

#include <QStringDecoder>
#include <QStringEncoder>
#include <algorithm>
#include <chrono>

namespace stowline::platform {

namespace {

QStringList pathParts(const QString& path) { return path.split(QLatin1Char('\\'), Qt::SkipEmptyParts); }

bool sameName(const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) == 0; }

QByteArray utf16le(const QString& text) {
    QStringEncoder encoder(QStringEncoder::Utf16LE, QStringConverter::Flag::Stateless);
    return encoder.encode(text);
}

QString fromUtf16le(const QByteArray& bytes) {
    QStringDecoder decoder(QStringDecoder::Utf16LE, QStringConverter::Flag::Stateless);
    return decoder.decode(bytes.left(bytes.size() & ~qsizetype(1)));
}

} // namespace

NativeValue toNative(const RegistryValue& value) {
    if (!isTextType(value.type))
        return {value.name, value.type, value.data};
    QByteArray wide = utf16le(decodeAnsiText(value.data));
    if (value.type != RegType::MultiSz)
        wide += QByteArray(2, '\0');
    return {value.name, value.type, wide};
}

RegistryValue fromNative(const NativeValue& value) {
    if (!isTextType(value.type))
        return {value.name, value.type, value.data};
    QString text = fromUtf16le(value.data);
    if (value.type != RegType::MultiSz && text.endsWith(QChar(u'\0')))
        text.chop(1);
    return {value.name, value.type, text.toUtf8()};
}

quint64 fileTimeNow() {
    constexpr quint64 From1601To1970 = 116444736000000000ull;
    const auto sinceEpoch = std::chrono::system_clock::now().time_since_epoch();
    return From1601To1970 +
           quint64(std::chrono::duration_cast<std::chrono::nanoseconds>(sinceEpoch).count() / 100);
}

// ---- RegistryTree -----------------------------------------------------------------------------

RegistryTree::RegistryTree() : m_root(std::make_unique<Key>()) {}

// Freed without recursion, however deep the tree below.
RegistryTree::Key::~Key() {
    std::vector<std::unique_ptr<Key>> doomed = std::move(children);
    while (!doomed.empty()) {
        std::unique_ptr<Key> key = std::move(doomed.back());
        doomed.pop_back();
        for (auto& child : key->children)
            doomed.push_back(std::move(child));
        key->children.clear();
    }
}

RegistryTree::Key* RegistryTree::Key::child(const QString& childName) const {
    const QString probe = childName.toLower();
    auto it = std::lower_bound(children.begin(), children.end(), probe,
                               [](const std::unique_ptr<Key>& k, const QString& p) { return k->lower < p; });
    for (; it != children.end() && (*it)->lower == probe; ++it)
        if (sameName((*it)->name, childName))
            return it->get();
    // Names equal without case whose lower-case forms differ (rare letters) are found the slow way.
    const bool ascii =
        std::all_of(childName.cbegin(), childName.cend(), [](QChar c) { return c.unicode() < 0x80; });
    if (ascii)
        return nullptr;
    for (const auto& k : children)
        if (sameName(k->name, childName))
            return k.get();
    return nullptr;
}

RegistryTree::Key* RegistryTree::Key::addChild(const QString& childName, quint64 when) {
    auto key = std::make_unique<Key>();
    key->name = childName;
    key->lower = childName.toLower();
    key->parent = this;
    key->modified = when;
    // Files list keys in this order, so a new key almost always goes last.
    auto at = children.end();
    if (!children.empty() && !(children.back()->lower < key->lower || children.back()->lower == key->lower))
        at = std::upper_bound(children.begin(), children.end(), key->lower,
                              [](const QString& p, const std::unique_ptr<Key>& k) { return p < k->lower; });
    return children.insert(at, std::move(key))->get();
}

QList<NativeValue>& RegistryTree::Key::valueList() {
    if (!raw.isEmpty() && readRaw)
        readRaw(*this);
    return values;
}

int RegistryTree::Key::valueIndex(const QString& valueName) {
    valueList();
    for (int i = 0; i < values.size(); ++i)
        if (sameName(values[i].name, valueName))
            return i;
    return -1;
}

RegistryTree::Key* RegistryTree::find(const QString& path) const {
    Key* key = m_root.get();
    for (const QString& part : pathParts(path)) {
        key = key->child(part);
        if (!key)
            return nullptr;
    }
    return key;
}

RegistryTree::Key& RegistryTree::make(const QString& path, quint64 when) {
    Key* key = m_root.get();
    for (const QString& part : pathParts(path)) {
        Key* next = key->child(part);
        key = next ? next : key->addChild(part, when);
    }
    return *key;
}

bool RegistryTree::remove(const QString& path) {
    Key* key = find(path);
    if (!key || !key->parent)
        return false;
    auto& siblings = key->parent->children;
    siblings.erase(
        std::find_if(siblings.begin(), siblings.end(), [&](const auto& k) { return k.get() == key; }));
    return true;
}

QString RegistryTree::pathOf(const Key& key) {
    QStringList parts;
    for (const Key* k = &key; k && k->parent; k = k->parent)
        parts.prepend(k->name);
    return parts.join(QLatin1Char('\\'));
}

// ---- TreeHive ---------------------------------------------------------------------------------

void TreeHive::createKey(const QString& path) {
    if (tree.find(path))
        return;
    tree.make(path, fileTimeNow());
    changed = true;
}

void TreeHive::deleteKey(const QString& path) {
    if (pathParts(path).isEmpty())
        throw RegistryError("A hive cannot be deleted");
    RegistryTree::Key* parent = tree.find(path) ? tree.find(path)->parent : nullptr;
    if (tree.remove(path)) {
        parent->modified = fileTimeNow();
        changed = true;
    }
}

QStringList TreeHive::subKeys(const QString& path) const {
    QStringList names;
    if (const RegistryTree::Key* key = tree.find(path))
        for (const auto& child : key->children)
            names << child->name;
    std::sort(names.begin(), names.end(), subKeyLess);
    return names;
}

int TreeHive::subKeyCount(const QString& path) const {
    const RegistryTree::Key* key = tree.find(path);
    return key ? int(key->children.size()) : 0;
}

std::optional<RegistryValue> TreeHive::value(const QString& path, const QString& name) const {
    RegistryTree::Key* key = tree.find(path);
    const int index = key ? key->valueIndex(name) : -1;
    if (index < 0)
        return std::nullopt;
    return fromNative(key->values[index]);
}

QList<RegistryValue> TreeHive::values(const QString& path) const {
    QList<RegistryValue> found;
    if (RegistryTree::Key* key = tree.find(path))
        for (const NativeValue& value : key->valueList())
            found << fromNative(value);
    return found;
}

int TreeHive::valueCount(const QString& path) const {
    RegistryTree::Key* key = tree.find(path);
    return key ? int(key->valueList().size()) : 0;
}

void TreeHive::setValue(const QString& path, const RegistryValue& value) {
    const quint64 now = fileTimeNow();
    RegistryTree::Key& key = tree.make(path, now);
    NativeValue native = toNative(value);
    const int index = key.valueIndex(value.name);
    if (index >= 0) {
        native.name = key.values[index].name; // the first spelling stays
        key.values[index] = native;
    } else {
        key.values << native;
    }
    key.modified = now;
    changed = true;
}

bool TreeHive::deleteValue(const QString& path, const QString& name) {
    RegistryTree::Key* key = tree.find(path);
    const int index = key ? key->valueIndex(name) : -1;
    if (index < 0)
        return false;
    key->values.removeAt(index);
    key->modified = fileTimeNow();
    changed = true;
    return true;
}

} // namespace stowline::platform
