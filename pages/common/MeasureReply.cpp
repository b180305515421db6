#include "MeasureReply.h"

#include "ReplyRules.h"

#include <QDebug>
#include <QStringList>

#include <cmath>

bool replyNumber(const QString &text, double *value)
{
    float asFloat = 0;
    return toFiniteFloat(text, &asFloat) && toFiniteDouble(text, value);
}

bool readMeasureAll(const QString &text, double voltBound, double currBound, MeasureAll *out)
{
    const QString trimmed = text.trimmed();
    const QStringList fields = trimmed.split(QLatin1Char(','), Qt::KeepEmptyParts);
    if (fields.size() != 6) {
        qDebug() << "数据字段数量不正确，期望6个，实际收到:" << fields.size();
        qDebug() << "数据内容:" << logPrefix(trimmed);
        return false;
    }
    // A field that is not finite fails like one that is no number (NaN
    // would pass every bound below).
    double v = 0, i = 0, p = 0;
    const bool okV = replyNumber(fields[0], &v);
    const bool okI = replyNumber(fields[1], &i);
    const bool okP = replyNumber(fields[2], &p);
    if (!okV || !okI || !okP) {
        qDebug() << "数据转换失败，电压:" << okV << "电流:" << okI << "功率:" << okP;
        qDebug() << "原始数据:" << logPrefix(trimmed);
        return false;
    }
    if (std::fabs(v) > voltBound || std::fabs(i) > currBound)
        return false;
    out->volt = v;
    out->curr = i;
    out->pow = p;
    return true;
}
