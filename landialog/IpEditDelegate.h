#pragma once

#include <QStyledItemDelegate>

// Address column of the device table: a line edit with a dotted-quad mask.
class IpEditDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    explicit IpEditDelegate(QObject *parent = nullptr);

    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option,
                          const QModelIndex &index) const override;
    void setEditorData(QWidget *editor, const QModelIndex &index) const override;
    void setModelData(QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const override;
    void updateEditorGeometry(QWidget *editor, const QStyleOptionViewItem &option,
                              const QModelIndex &index) const override;
};

// The style both line-edit cell editors share.
extern const char *const kCellLineEditStyle;
