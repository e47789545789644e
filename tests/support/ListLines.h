#pragma once

#include <QAbstractItemView>
#include <QStringList>

namespace stowline::test {

// The lines of a list view the user has ticked.
inline QStringList checkedLines(const QAbstractItemView& view) {
    QStringList lines;
    const QAbstractItemModel* model = view.model();
    for (int row = 0; row < model->rowCount(); ++row)
        if (model->index(row, 0).data(Qt::CheckStateRole).toInt() == Qt::Checked)
            lines << model->index(row, 0).data().toString();
    return lines;
}

// What a click on a line's check box does.
inline void setLineChecked(QAbstractItemView& view, int row, bool checked) {
    QAbstractItemModel* model = view.model();
    model->setData(model->index(row, 0), checked ? Qt::Checked : Qt::Unchecked, Qt::CheckStateRole);
}

} // namespace stowline::test
