#include "DecimalPointInput.h"

#include <QAbstractSpinBox>
#include <QCoreApplication>
#include <QDoubleSpinBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLocale>

void DecimalPointInput::install(QCoreApplication *app)
{
    QLocale c = QLocale::c();
    c.setNumberOptions(QLocale::OmitGroupSeparator | QLocale::RejectGroupSeparator);
    QLocale::setDefault(c);
    app->installEventFilter(new DecimalPointInput(app));
}

DecimalPointInput::DecimalPointInput(QObject *parent)
    : QObject(parent)
{
}

namespace {
// The decimal box a key event is meant for: the box itself (its line edit is
// its focus proxy) or, when sent there directly, the box's line edit.
QDoubleSpinBox *decimalBox(QObject *watched)
{
    if (auto *box = qobject_cast<QDoubleSpinBox *>(watched))
        return box;
    if (qobject_cast<QLineEdit *>(watched))
        return qobject_cast<QDoubleSpinBox *>(watched->parent());
    return nullptr;
}
} // namespace

bool DecimalPointInput::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease)
        return false;
    auto *key = static_cast<QKeyEvent *>(event);
    if (key->text() != QLatin1String(",") || !decimalBox(watched))
        return false;
    QKeyEvent point(key->type(), Qt::Key_Period, key->modifiers(), QStringLiteral("."), key->isAutoRepeat(),
                    ushort(key->count()));
    QCoreApplication::sendEvent(watched, &point);
    return true;
}
