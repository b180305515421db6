#include "newPushButtonDelegate.h"

#include <QPushButton>

const char *const newPushButtonDelegate::kRestStyle =
    "QPushButton {background-color: lightblue;border: 1px solid #005D7F;color: black;font-weight: bold;"
    "border-radius:10px}";
const char *const newPushButtonDelegate::kPressedStyle =
    "QPushButton {background-color: darkblue;border: 1px solid #003E5A;color: white;font-weight: bold;"
    "border-radius:10px}";

newPushButtonDelegate::newPushButtonDelegate(QObject *parent) : QStyledItemDelegate(parent) {}

QWidget *newPushButtonDelegate::createEditor(QWidget *parent, const QStyleOptionViewItem &,
                                             const QModelIndex &index) const
{
    auto *button = new QPushButton(tr("设置更新"), parent);
    button->setCursor(Qt::PointingHandCursor);
    button->setStyleSheet(QString::fromLatin1(kRestStyle));
    const int row = index.row();
    connect(button, &QPushButton::pressed, button,
            [button] { button->setStyleSheet(QString::fromLatin1(kPressedStyle)); });
    connect(button, &QPushButton::released, button,
            [button] { button->setStyleSheet(QString::fromLatin1(kRestStyle)); });
    auto *self = const_cast<newPushButtonDelegate *>(this);
    connect(button, &QPushButton::clicked, self, [self, row] { emit self->DevSetUpdate(row); });
    emit self->DevIdUpdate(row);
    return button;
}

void newPushButtonDelegate::setEditorData(QWidget *, const QModelIndex &) const {}

void newPushButtonDelegate::setModelData(QWidget *, QAbstractItemModel *, const QModelIndex &) const {}

void newPushButtonDelegate::updateEditorGeometry(QWidget *editor, const QStyleOptionViewItem &option,
                                                 const QModelIndex &) const
{
    editor->setGeometry(option.rect);
}
