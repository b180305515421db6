#pragma once

#include <QObject>

class QCoreApplication;

// Numbers typed into the program's decimal boxes mean what the instrument and
// the program's files mean by them, whatever the system locale: '.' is the
// decimal point, and a ',' typed into a decimal box is taken as the point too.
// Under a decimal-comma system locale a box would otherwise read "2.5" as
// 25 ('.' as a thousands separator) and drop the ',' of "2,5" under the C
// locale, a tenfold setpoint in both cases. Installed once at start-up, before
// the first widget is made.
class DecimalPointInput : public QObject
{
    Q_OBJECT
public:
    // Makes the C locale without thousands separators the program's default
    // and installs one filter on the application for the ',' key.
    static void install(QCoreApplication *app);

    explicit DecimalPointInput(QObject *parent = nullptr);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
};
