#include "StepCellValidator.h"

#include "ListCells.h"

StepCellValidator::StepCellValidator(int column, QObject *parent)
    : QValidator(parent)
    , m_column(column)
{
    // The rule has no locale; the validator's own stays the C one so that
    // nothing else reads the text by the system's.
    setLocale(QLocale::c());
}

QValidator::State StepCellValidator::validate(QString &input, int &pos) const
{
    // Blanks before the cursor go with the text before it.
    int leading = 0;
    while (leading < input.size() && input.at(leading).isSpace())
        ++leading;
    const QString kept = ListCells::kept(input);
    const ListCells::Verdict v = ListCells::check(m_column, kept);
    if (v == ListCells::Verdict::Refused)
        return Invalid;
    if (kept != input) {
        pos = qBound(0, pos - qMin(pos, leading), kept.size());
        input = kept;
    }
    return v == ListCells::Verdict::Taken ? Acceptable : Intermediate;
}
