#pragma once

#include <QStringList>
#include <QStyledItemDelegate>

// IP-mode column of the device table: a combo box with "static" and "DHCP".
class newCombboxDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    explicit newCombboxDelegate(QObject *parent = nullptr);
    ~newCombboxDelegate() override;

    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option,
                          const QModelIndex &index) const override;
    void setEditorData(QWidget *editor, const QModelIndex &index) const override;
    void setModelData(QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const override;
    void updateEditorGeometry(QWidget *editor, const QStyleOptionViewItem &option,
                              const QModelIndex &index) const override;

signals:
    // The selected mode of row `index` changed to `mode`.
    void DevIpModeUpdate(int index, QString mode);

private:
    QStringList *m_items = nullptr;
};
