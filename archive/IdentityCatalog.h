#pragma once

#include <QList>
#include <QString>

namespace stowline {

// One identity of a backup or of an archive: its display name, its ID, the folder of its message
// store (empty for an archive's identities) and whether the user chose it.
struct Identity {
    QString name;
    QString id;
    QString storeFolder;
    bool selected = false;
};

// The identities a run works on, in the order they were found.
class IdentityCatalog {
public:
    void add(Identity identity);
    void clear();
    qsizetype count() const { return m_identities.size(); }
    const Identity& at(qsizetype index) const { return m_identities.at(index); }
    const QList<Identity>& all() const { return m_identities; }

    void setSelected(qsizetype index, bool selected);
    void selectAll(bool selected);
    bool anySelected() const;
    QList<Identity> selected() const;

private:
    QList<Identity> m_identities;
};

} // namespace stowline
