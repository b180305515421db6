#pragma once

#include <QValidator>

// The step table editor's check of a column's text, by the rule of
// ListCells: the same whatever the system locale, a decimal comma turned into
// the point as it is typed.
class StepCellValidator : public QValidator
{
    Q_OBJECT
public:
    StepCellValidator(int column, QObject *parent = nullptr);

    int column() const { return m_column; }
    State validate(QString &input, int &pos) const override;

private:
    int m_column;
};
