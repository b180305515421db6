#include "newCombboxDelegate.h"

#include <QComboBox>

newCombboxDelegate::newCombboxDelegate(QObject *parent)
    : QStyledItemDelegate(parent), m_items(new QStringList{QStringLiteral("static"), QStringLiteral("DHCP")})
{
}

newCombboxDelegate::~newCombboxDelegate()
{
    delete m_items;
}

QWidget *newCombboxDelegate::createEditor(QWidget *parent, const QStyleOptionViewItem &,
                                          const QModelIndex &index) const
{
    auto *combo = new QComboBox(parent);
    combo->setCursor(Qt::PointingHandCursor);
    combo->addItems(*m_items);
    // Connected after the items are in, so filling the combo reports nothing.
    const int row = index.row();
    auto *self = const_cast<newCombboxDelegate *>(this);
    connect(combo, &QComboBox::currentTextChanged, self,
            [self, row, combo] { emit self->DevIpModeUpdate(row, combo->currentText()); }, Qt::DirectConnection);
    return combo;
}

void newCombboxDelegate::setEditorData(QWidget *editor, const QModelIndex &index) const
{
    auto *combo = static_cast<QComboBox *>(editor);
    const QString text = index.data(Qt::EditRole).toString();
    combo->setCurrentIndex(combo->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive));
}

void newCombboxDelegate::setModelData(QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const
{
    model->setData(index, static_cast<QComboBox *>(editor)->currentText(), Qt::EditRole);
}

void newCombboxDelegate::updateEditorGeometry(QWidget *editor, const QStyleOptionViewItem &option,
                                              const QModelIndex &) const
{
    editor->setGeometry(option.rect);
}
