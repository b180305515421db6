#pragma once

#include <QStyledItemDelegate>

// Operation column of the device table: a button that writes its row back.
class newPushButtonDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    explicit newPushButtonDelegate(QObject *parent = nullptr);

    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option,
                          const QModelIndex &index) const override;
    void setEditorData(QWidget *editor, const QModelIndex &index) const override;
    void setModelData(QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const override;
    void updateEditorGeometry(QWidget *editor, const QStyleOptionViewItem &option,
                              const QModelIndex &index) const override;

    static const char *const kRestStyle;
    static const char *const kPressedStyle;

signals:
    // The button of row `index` was clicked.
    void DevSetUpdate(int index);
    // The button of row `id` was created (the operator opened its cell).
    void DevIdUpdate(int id);
};
