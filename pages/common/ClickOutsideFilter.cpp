#include "ClickOutsideFilter.h"

#include <QDoubleSpinBox>
#include <QEvent>
#include <QMouseEvent>
#include <QSpinBox>

ClickOutsideFilter::ClickOutsideFilter(QObject *parent)
    : QObject(parent)
{
}

void ClickOutsideFilter::addDoubleSpinBox(QDoubleSpinBox *box)
{
    if (box && !m_doubleBoxes.contains(box))
        m_doubleBoxes.append(box);
}

void ClickOutsideFilter::addSpinBox(QSpinBox *box)
{
    if (box && !m_intBoxes.contains(box))
        m_intBoxes.append(box);
}

QList<QDoubleSpinBox *> ClickOutsideFilter::doubleSpinBoxes() const
{
    QList<QDoubleSpinBox *> out;
    for (const auto &b : m_doubleBoxes)
        if (b)
            out.append(b.data());
    return out;
}

QList<QSpinBox *> ClickOutsideFilter::spinBoxes() const
{
    QList<QSpinBox *> out;
    for (const auto &b : m_intBoxes)
        if (b)
            out.append(b.data());
    return out;
}

namespace {

// The press is tested in the box's own coordinates against the box's own
// rectangle, so only a press that really lies outside the box ends editing.
void clearFocusUnlessHit(QWidget *w, const QPoint &globalPos)
{
    if (!w)
        return;
    if (!w->rect().contains(w->mapFromGlobal(globalPos)))
        w->clearFocus();
}

} // namespace

bool ClickOutsideFilter::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonPress) {
        const QPoint globalPos = static_cast<QMouseEvent *>(event)->globalPos();
        for (const auto &b : m_doubleBoxes)
            clearFocusUnlessHit(b.data(), globalPos);
        for (const auto &b : m_intBoxes)
            clearFocusUnlessHit(b.data(), globalPos);
    }
    return QObject::eventFilter(watched, event);
}
