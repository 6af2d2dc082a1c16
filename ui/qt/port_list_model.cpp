// Name for editing, name and description for display.
#include "ui/qt/port_list_model.h"

namespace orvane {

QVariant PortListModel::data(const QModelIndex& index, int role) const {
    if (role == Qt::DisplayRole) {
        const QString name = QStandardItemModel::data(index, Qt::EditRole).toString();
        const QString description = QStandardItemModel::data(index, descriptionRole).toString();
        return description.isEmpty() ? name : name + QStringLiteral(" \u2014 ") + description;
    }
    return QStandardItemModel::data(index, role);
}

} // namespace orvane
