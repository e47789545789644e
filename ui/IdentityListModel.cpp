#include "ui/IdentityListModel.h"

#include "archive/IdentityCatalog.h"

namespace stowline {

IdentityListModel::IdentityListModel(IdentityCatalog& catalog, QObject* parent)
    : QAbstractListModel(parent), m_catalog(catalog) {}

void IdentityListModel::reload() {
    beginResetModel();
    endResetModel();
}

int IdentityListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_catalog.count());
}

QVariant IdentityListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= m_catalog.count())
        return {};
    const Identity& identity = m_catalog.at(index.row());
    if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole)
        return identity.name;
    if (role == Qt::CheckStateRole)
        return identity.selected ? Qt::Checked : Qt::Unchecked;
    return {};
}

bool IdentityListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::CheckStateRole || !index.isValid() || index.row() >= m_catalog.count())
        return false;
    const bool checked = value.toInt() == Qt::Checked;
    if (m_catalog.at(index.row()).selected == checked)
        return true;
    m_catalog.setSelected(index.row(), checked);
    emit dataChanged(index, index, {Qt::CheckStateRole});
    emit checksChanged();
    return true;
}

Qt::ItemFlags IdentityListModel::flags(const QModelIndex& index) const {
    return QAbstractListModel::flags(index) | Qt::ItemIsUserCheckable;
}

} // namespace stowline
