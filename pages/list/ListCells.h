#pragma once

// How the list page reads and writes the numbers of step cells: the step
// table, its editor, a paste and the list-file reader treat them alike.
//
// One rule, whatever the system locale: a number is written with '.' as its
// decimal point, as the list files and the instrument have it; a decimal
// comma is taken as that point. Grouping, signs and surrounding blanks are no
// part of a number the operator enters.

#include "ReplyRules.h"

#include <QRegularExpression>
#include <QString>

namespace ListCells {

// General format with 6 significant digits: the text of a capped cell and of
// a maximum in a header ("40", "2000", "12.5", "0.02").
inline QString sixDigits(double v)
{
    return QString::number(v, 'g', 6);
}

// A cell text in the form the table keeps: blanks around it gone and a
// decimal comma turned into the point.
inline QString kept(const QString &text)
{
    QString t = text.trimmed();
    t.replace(QLatin1Char(','), QLatin1Char('.'));
    return t;
}

// A cell's number, read from its kept form with '.' as the decimal point
// (never by the system locale). Text that is no finite number reads as 0.
inline double number(const QString &text)
{
    double v = 0;
    return toFiniteDouble(kept(text), &v) ? v : 0.0;
}

// What a column takes from the operator: an unsigned decimal number with at
// most `decimals` decimals from `min` to `max`.
struct ColumnRule
{
    double min;
    double max;
    int decimals;
};

// The rules of the step columns: current, rise slope, time; none for others.
inline const ColumnRule *columnRule(int column)
{
    static const ColumnRule rules[3] = {
        {0, 9999, 2},
        {0.02, 9999, 3},
        {0.5, 99999, 3},
    };
    return column >= 0 && column < 3 ? &rules[column] : nullptr;
}

enum class Verdict {
    Refused,    // no number of the column, whatever follows
    Incomplete, // may still become one (empty, "0." or below the minimum)
    Taken
};

// How the column's rule sees the text, in its kept form. A column without a
// rule takes everything.
inline Verdict check(int column, const QString &text)
{
    const ColumnRule *rule = columnRule(column);
    if (!rule)
        return Verdict::Taken;
    const QString t = kept(text);
    if (t.isEmpty() || t == QLatin1String("."))
        return Verdict::Incomplete;
    static const QRegularExpression re(QStringLiteral("^(\\d*)(?:\\.(\\d*))?$"));
    const QRegularExpressionMatch m = re.match(t);
    if (!m.hasMatch())
        return Verdict::Refused;
    if (m.capturedLength(2) > rule->decimals)
        return Verdict::Refused;
    QString integer = m.captured(1);
    while (integer.size() > 1 && integer.startsWith(QLatin1Char('0')))
        integer.remove(0, 1);
    // No more whole digits than the maximum has.
    if (integer.size() > QString::number(qint64(rule->max)).size())
        return Verdict::Refused;
    const double v = number(t);
    // Above the maximum a point may still be put in; below the minimum
    // digits may still follow.
    if (v > rule->max || v < rule->min)
        return Verdict::Incomplete;
    return Verdict::Taken;
}

// Whether the column takes the text; `keptText` gets the form the cell keeps.
inline bool takes(int column, const QString &text, QString *keptText = nullptr)
{
    if (check(column, text) != Verdict::Taken)
        return false;
    if (keptText)
        *keptText = columnRule(column) ? kept(text) : text;
    return true;
}

} // namespace ListCells
