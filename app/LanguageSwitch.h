#pragma once

#include <QMetaType>

// Which languages the operator may choose (the "SW:" line of "conf.txt").
struct LanguageSwitch
{
    bool english = true;
    bool chinese = true;
};

Q_DECLARE_METATYPE(LanguageSwitch)
