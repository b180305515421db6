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

} // namespace

bool MyEventFilter::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();

    if (auto *box = qobject_cast<QDoubleSpinBox *>(watched)) {
        switch (type) {
        case QEvent::KeyPress: {
            const int key = static_cast<QKeyEvent *>(event)->key();
            if (isConfirmKey(key)) {
                box->setProperty(kOriginalValue, box->value());
            } else if (key == Qt::Key_Escape) {
                const QVariant v = box->property(kOriginalValue);
                if (v.isValid())
                    box->setValue(v.toDouble());
                return true;
            }
            break;
        }
        case QEvent::MouseButtonPress:
            box->setProperty(kOriginalValue, box->value());
            break;
        case QEvent::MouseButtonRelease:
            box->setProperty(kOriginalValue, box->value());
            emit box->editingFinished();
            break;
        case QEvent::FocusOut: {
            const QVariant v = box->property(kOriginalValue);
            if (v.isValid())
                box->setValue(v.toDouble());
            break;
        }
        default:
            break;
        }
        return QObject::eventFilter(watched, event);
    }

    if (auto *box = qobject_cast<QSpinBox *>(watched)) {
        switch (type) {
        case QEvent::KeyPress: {
            const int key = static_cast<QKeyEvent *>(event)->key();
            if (isConfirmKey(key)) {
                box->setProperty(kOriginalValue, box->value());
            } else if (key == Qt::Key_Escape) {
                const QVariant v = box->property(kOriginalValue);
                if (v.isValid())
                    box->setValue(v.toInt());
                return true;
            }
            break;
        }
        case QEvent::FocusOut: {
            const QVariant v = box->property(kOriginalValue);
            if (v.isValid())
                box->setValue(v.toInt());
            break;
        }
        default:
            break;
        }
    }
    return QObject::eventFilter(watched, event);
}
