#pragma once

#include <QStyledItemDelegate>

// Port column of the device table: a line edit taking 0 to 65535.
class protEditDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    explicit protEditDelegate(QObject *parent = nullptr);

    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option,
                          const QModelIndex &index) const override;
    void setEditorData(QWidget *editor, const QModelIndex &index) const override;
    void setModelData(QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const override;
    void updateEditorGeometry(QWidget *editor, const QStyleOptionViewItem &option,
                              const QModelIndex &index) const override;
};
