#include "protEditDelegate.h"
#include "IpEditDelegate.h"

#include <QIntValidator>
#include <QLineEdit>

protEditDelegate::protEditDelegate(QObject *parent) : QStyledItemDelegate(parent) {}

QWidget *protEditDelegate::createEditor(QWidget *parent, const QStyleOptionViewItem &, const QModelIndex &) const
{
    auto *edit = new QLineEdit(parent);
    edit->setValidator(new QIntValidator(0, 65535, edit));
    edit->setCursor(Qt::IBeamCursor);
    edit->setStyleSheet(QString::fromLatin1(kCellLineEditStyle));
    return edit;
}

void protEditDelegate::setEditorData(QWidget *editor, const QModelIndex &index) const
{
    static_cast<QLineEdit *>(editor)->setText(index.data(Qt::EditRole).toString());
}

void protEditDelegate::setModelData(QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const
{
    model->setData(index, static_cast<QLineEdit *>(editor)->text(), Qt::EditRole);
}

void protEditDelegate::updateEditorGeometry(QWidget *editor, const QStyleOptionViewItem &option,
                                            const QModelIndex &) const
{
    editor->setGeometry(option.rect);
}
