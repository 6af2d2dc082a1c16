// The port box's list: each entry is the port's name, which the box's edit field takes when
// it is chosen, and the list shows "ttyUSB0 — FT232R USB UART" where a description is known.
#pragma once

#include <QStandardItemModel>

namespace orvane {

class PortListModel : public QStandardItemModel {
    Q_OBJECT
  public:
    static constexpr int descriptionRole = Qt::UserRole + 1;

    using QStandardItemModel::QStandardItemModel;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
};

} // namespace orvane
