#include "DecimalPointInput.h"

#include <QCoreApplication>
#include <QDoubleSpinBox>
#include <QKeyEvent>
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

bool DecimalPointInput::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease)
        return false;
    auto *key = static_cast<QKeyEvent *>(event);
    // The box itself gets the keys (it is its line edit's focus proxy).
    if (key->text() != QLatin1String(",") || !qobject_cast<QDoubleSpinBox *>(watched))
        return false;
    QKeyEvent point(key->type(), Qt::Key_Period, key->modifiers(), QStringLiteral("."), key->isAutoRepeat(),
                    ushort(key->count()));
    QCoreApplication::sendEvent(watched, &point);
    return true;
}
