#pragma once

// How the list page reads and writes the numbers of step cells: the step
// table and the list-file reader treat them alike.

#include "ReplyRules.h"

#include <QString>

namespace ListCells {

// General format with 6 significant digits: the text of a capped cell and of
// a maximum in a header ("40", "2000", "12.5", "0.02").
inline QString sixDigits(double v)
{
    return QString::number(v, 'g', 6);
}

// A cell's number: text that is no finite number reads as 0.
inline double number(const QString &text)
{
    double v = 0;
    return toFiniteDouble(text, &v) ? v : 0.0;
}

} // namespace ListCells
