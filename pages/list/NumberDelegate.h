#pragma once

#include <QItemDelegate>

// Cell editor of the step table: a line edit that accepts numbers only, by
// column: current 0..9999 (2 decimals), rise slope 0.02..9999 (3 decimals),
// time 0.5..99999 (3 decimals).
class NumberDelegate : public QItemDelegate
{
    Q_OBJECT
public:
    explicit NumberDelegate(QObject *parent = nullptr);

    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option,
                          const QModelIndex &index) const override;
};
