#pragma once

#include <QAbstractListModel>

namespace stowline {

class IdentityCatalog;

// An identity catalog as a list of checkable lines: the name shown, the check mark its choice.
class IdentityListModel : public QAbstractListModel {
    Q_OBJECT
public:
    explicit IdentityListModel(IdentityCatalog& catalog, QObject* parent = nullptr);

    // Call after the catalog was refilled.
    void reload();

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

signals:
    void checksChanged();

private:
    IdentityCatalog& m_catalog;
};

} // namespace stowline
