#pragma once

#include <QItemDelegate>

class QValidator;

// Cell editor of the step table: a line edit that accepts numbers only, by
// column: current 0..9999 (2 decimals), rise slope 0.02..9999 (3 decimals),
// time 0.5..99999 (3 decimals), with '.' as the decimal point whatever the
// system locale (a typed comma becomes the point).
//
// However an edit ends (Return, Tab, another cell made current, the focus
// gone), only text the column takes reaches the cell; otherwise the cell
// keeps what it held.
class NumberDelegate : public QItemDelegate
{
    Q_OBJECT
public:
    explicit NumberDelegate(QObject *parent = nullptr);

    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option,
                          const QModelIndex &index) const override;
    void setModelData(QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const override;

    // The editor's number rule of a column (none for other columns).
    static QValidator *makeValidator(int column, QObject *parent);
    // Whether the editor of the column takes the text as it stands, so that
    // text from elsewhere (a paste) follows the rule of typed text; `kept`
    // gets the text the cell then holds.
    static bool accepts(int column, const QString &text, QString *kept = nullptr);
};
