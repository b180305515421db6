#include "NumberDelegate.h"

#include <QDoubleValidator>
#include <QLineEdit>

NumberDelegate::NumberDelegate(QObject *parent)
    : QItemDelegate(parent)
{
}

QWidget *NumberDelegate::createEditor(QWidget *parent, const QStyleOptionViewItem &, const QModelIndex &index) const
{
    auto *edit = new QLineEdit(parent);
    QDoubleValidator *v = nullptr;
    switch (index.column()) {
    case 0: v = new QDoubleValidator(0, 9999, 2, edit); break;
    case 1: v = new QDoubleValidator(0.02, 9999, 3, edit); break;
    case 2: v = new QDoubleValidator(0.5, 99999, 3, edit); break;
    default: break;
    }
    if (v) {
        v->setNotation(QDoubleValidator::StandardNotation);
        edit->setValidator(v);
    }
    return edit;
}
