#include "IpEditDelegate.h"

#include <QLineEdit>

const char *const kCellLineEditStyle = "QLineEdit { border: none; padding-left: 5px; }";

IpEditDelegate::IpEditDelegate(QObject *parent) : QStyledItemDelegate(parent) {}

QWidget *IpEditDelegate::createEditor(QWidget *parent, const QStyleOptionViewItem &, const QModelIndex &) const
{
    auto *edit = new QLineEdit(parent);
    edit->setInputMask(QStringLiteral("000.000.000.000; "));
    edit->setCursor(Qt::IBeamCursor);
    edit->setStyleSheet(QString::fromLatin1(kCellLineEditStyle));
    return edit;
}

void IpEditDelegate::setEditorData(QWidget *editor, const QModelIndex &index) const
{
    static_cast<QLineEdit *>(editor)->setText(index.data(Qt::EditRole).toString());
}

void IpEditDelegate::setModelData(QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const
{
    model->setData(index, static_cast<QLineEdit *>(editor)->text(), Qt::EditRole);
}

void IpEditDelegate::updateEditorGeometry(QWidget *editor, const QStyleOptionViewItem &option,
                                          const QModelIndex &) const
{
    editor->setGeometry(option.rect);
}
