#include "MyEventFilter.h"

#include <QDoubleSpinBox>
#include <QEvent>
#include <QKeyEvent>
#include <QSpinBox>
#include <QVariant>

const char *const MyEventFilter::kOriginalValue = "originalValue";

MyEventFilter::MyEventFilter(QObject *parent)
    : QObject(parent)
{
}

namespace {

bool isConfirmKey(int key)
{
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}

// The key and focus rows, alike for both kinds of box; `Value` is double or int.
// Returns true when the event is consumed.
template <class Box, class Value>
bool handleKeyOrFocus(Box *box, QEvent *event)
{
    const char *const prop = MyEventFilter::kOriginalValue;
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (isConfirmKey(key)) {
            box->setProperty(prop, box->value());
        } else if (key == Qt::Key_Escape) {
            const QVariant v = box->property(prop);
            if (v.isValid())
                box->setValue(v.value<Value>());
            return true;
        }
    } else if (event->type() == QEvent::FocusOut) {
        const QVariant v = box->property(prop);
        if (v.isValid())
            box->setValue(v.value<Value>());
    }
    return false;
}

} // namespace

bool MyEventFilter::eventFilter(QObject *watched, QEvent *event)
{
    if (auto *box = qobject_cast<QDoubleSpinBox *>(watched)) {
        if (handleKeyOrFocus<QDoubleSpinBox, double>(box, event))
            return true;
        // The arrow buttons confirm the value; the release finishes the edit.
        if (event->type() == QEvent::MouseButtonPress) {
            box->setProperty(kOriginalValue, box->value());
        } else if (event->type() == QEvent::MouseButtonRelease) {
            box->setProperty(kOriginalValue, box->value());
            emit box->editingFinished();
        }
    } else if (auto *box = qobject_cast<QSpinBox *>(watched)) {
        if (handleKeyOrFocus<QSpinBox, int>(box, event))
            return true;
    }
    return QObject::eventFilter(watched, event);
}
