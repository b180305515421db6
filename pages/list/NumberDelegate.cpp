#include "NumberDelegate.h"

#include "ListCells.h"
#include "StepCellValidator.h"

#include <QLineEdit>

NumberDelegate::NumberDelegate(QObject *parent)
    : QItemDelegate(parent)
{
}

QValidator *NumberDelegate::makeValidator(int column, QObject *parent)
{
    if (!ListCells::columnRule(column))
        return nullptr;
    return new StepCellValidator(column, parent);
}

bool NumberDelegate::accepts(int column, const QString &text, QString *kept)
{
    return ListCells::takes(column, text, kept);
}

QWidget *NumberDelegate::createEditor(QWidget *parent, const QStyleOptionViewItem &, const QModelIndex &index) const
{
    auto *edit = new QLineEdit(parent);
    if (QValidator *v = makeValidator(index.column(), edit))
        edit->setValidator(v);
    return edit;
}

void NumberDelegate::setModelData(QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const
{
    auto *edit = qobject_cast<QLineEdit *>(editor);
    if (!edit) {
        QItemDelegate::setModelData(editor, model, index);
        return;
    }
    // The view also commits when the current cell changes, without asking
    // the validator: the rule is asked here, for every way an edit ends.
    QString kept;
    if (!accepts(index.column(), edit->text(), &kept))
        return;
    model->setData(index, kept, Qt::EditRole);
}
