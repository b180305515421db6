#include "NumberDelegate.h"

#include <QDoubleValidator>
#include <QLineEdit>

NumberDelegate::NumberDelegate(QObject *parent)
    : QItemDelegate(parent)
{
}

QValidator *NumberDelegate::makeValidator(int column, QObject *parent)
{
    QDoubleValidator *v = nullptr;
    switch (column) {
    case 0: v = new QDoubleValidator(0, 9999, 2, parent); break;
    case 1: v = new QDoubleValidator(0.02, 9999, 3, parent); break;
    case 2: v = new QDoubleValidator(0.5, 99999, 3, parent); break;
    default: break;
    }
    if (v)
        v->setNotation(QDoubleValidator::StandardNotation);
    return v;
}

bool NumberDelegate::accepts(int column, const QString &text)
{
    QObject owner;
    const QValidator *v = makeValidator(column, &owner);
    if (!v)
        return true;
    QString t = text;
    int pos = 0;
    return v->validate(t, pos) == QValidator::Acceptable;
}

QWidget *NumberDelegate::createEditor(QWidget *parent, const QStyleOptionViewItem &, const QModelIndex &index) const
{
    auto *edit = new QLineEdit(parent);
    if (QValidator *v = makeValidator(index.column(), edit))
        edit->setValidator(v);
    return edit;
}
