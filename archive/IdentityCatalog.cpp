#include "archive/IdentityCatalog.h"

#include <algorithm>

namespace stowline {

void IdentityCatalog::add(Identity identity) { m_identities << std::move(identity); }

void IdentityCatalog::clear() { m_identities.clear(); }

void IdentityCatalog::setSelected(qsizetype index, bool selected) {
    if (index >= 0 && index < m_identities.size())
        m_identities[index].selected = selected;
}

void IdentityCatalog::selectAll(bool selected) {
    for (Identity& identity : m_identities)
        identity.selected = selected;
}

bool IdentityCatalog::anySelected() const {
    return std::any_of(m_identities.begin(), m_identities.end(),
                       [](const Identity& i) { return i.selected; });
}

QList<Identity> IdentityCatalog::selected() const {
    QList<Identity> chosen;
    std::copy_if(m_identities.begin(), m_identities.end(), std::back_inserter(chosen),
                 [](const Identity& i) { return i.selected; });
    return chosen;
}

} // namespace stowline
