#pragma once

#include <QObject>

// Event filter for the spin boxes of a page. It keeps the last confirmed value
// of each watched box in the box's dynamic property "originalValue": Return or
// Enter (and, for double spin boxes, the mouse) confirm the value shown;
// Escape and leaving the box in any other way bring the confirmed value back.
class MyEventFilter : public QObject
{
    Q_OBJECT
public:
    explicit MyEventFilter(QObject *parent = nullptr);

    static const char *const kOriginalValue; // "originalValue"

    bool eventFilter(QObject *watched, QEvent *event) override;
};
