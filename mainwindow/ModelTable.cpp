#include "ModelTable.h"

#include <QRegularExpression>

namespace {
struct Row
{
    const char *names[2];
    ModelLimits limits;
};

//                                curr  volt  pow   OVP  OCP  OPP   Vhi  Vlo  Ihi  Ilo   AC I  AC OVP AC OCP
const Row kRows[] = {
    {{"KTR8547", "KTR8547V"},    {20,  150,  200,  165, 22,  210,  150, 15,  20,  2,    0,    0,   0}},
    {{"KTR8547R", "KTR8547RV"},  {20,  300,  200,  330, 22,  210,  300, 30,  20,  2,    0,    0,   0}},
    {{"KTR8547N", "KTR8547NV"},  {20,  600,  200,  615, 22,  210,  600, 60,  20,  2,    0,    0,   0}},
    {{"KTR8548", "KTR8548V"},    {40,  150,  400,  155, 44,  420,  150, 15,  40,  4,    0,    0,   0}},
    {{"KTR8548R", "KTR8548RV"},  {40,  300,  400,  330, 44,  420,  300, 30,  40,  4,    0,    0,   0}},
    {{"KTR8548N", "KTR8548NV"},  {40,  600,  400,  615, 44,  420,  600, 60,  40,  4,    0,    0,   0}},
    {{"KTR8549R", "KTR8549RV"},  {40,  300,  500,  330, 44,  520,  300, 30,  40,  4,    0,    0,   0}},
    {{"KTR8549N", "KTR8549NV"},  {40,  600,  500,  615, 44,  520,  600, 60,  40,  4,    0,    0,   0}},
    {{"KTR1541", "KTR1541-V"},   {15,  150,  150,  155, 17,  170,  150, 15,  15,  2,    0,    0,   0}},
    {{"KTR1542", "KTR1542-V"},   {20,  150,  300,  155, 22,  320,  150, 15,  20,  2,    0,    0,   0}},
    {{"KTR1543", "KTR1543-V"},   {30,  150,  300,  155, 32,  320,  150, 15,  30,  2,    0,    0,   0}},
    {{"KTR3041", "KTR3041-V"},   {20,  300,  150,  320, 22,  170,  300, 30,  20,  2,    0,    0,   0}},
    {{"KTR3042", "KTR3042-V"},   {20,  300,  300,  320, 22,  320,  300, 30,  20,  2,    0,    0,   0}},
    {{"KTR3043", "KTR3043-V"},   {30,  300,  300,  320, 32,  320,  300, 30,  30,  3,    0,    0,   0}},
    {{"KTR6041", nullptr},       {15,  600,  150,  620, 17,  170,  600, 60,  15,  1.5f, 0,    0,   0}},
    {{"KTR6042", nullptr},       {20,  600,  300,  620, 22,  320,  600, 60,  20,  2,    0,    0,   0}},
    {{"KTR6043", nullptr},       {30,  600,  300,  620, 32,  320,  600, 60,  30,  3,    0,    0,   0}},
    {{"KTR8672", nullptr},       {40,  150,  500,  155, 44,  520,  150, 15,  40,  4,    25,   105, 30}},
    {{"KTR8672N", nullptr},      {40,  600,  500,  630, 44,  520,  600, 60,  40,  4,    25,   425, 44}},
    {{"KTR8674", nullptr},       {80,  600,  1000, 605, 88,  1040, 600, 60,  80,  8,    50,   105, 55}},
    {{"KTR8674N", nullptr},      {80,  600,  1000, 605, 88,  1040, 600, 60,  80,  8,    50,   425, 55}},
    {{"KTR8679N", nullptr},      {240, 600,  3000, 605, 245, 3100, 600, 60,  240, 24,   150,  425, 155}},
};

const QStringList kNoParallelModels = {"KTR8674", "KTR8674R", "KTR8674N"};
const QStringList kAcDcModels = {"KTR8674", "KTR8674R", "KTR8674N", "KTR8672",
                                 "KTR8672R", "KTR8672N", "KTR8679N"};
} // namespace

const ModelLimits *ModelTable::find(const QString &model)
{
    for (const Row &row : kRows) {
        for (const char *name : row.names) {
            if (name && model == QLatin1String(name))
                return &row.limits;
        }
    }
    return nullptr;
}

QStringList ModelTable::models()
{
    QStringList all;
    for (const Row &row : kRows) {
        for (const char *name : row.names) {
            if (name)
                all << QString::fromLatin1(name);
        }
    }
    return all;
}

int ModelTable::series(const QString &model)
{
    static const QRegularExpression re(QStringLiteral("(85|86|15|30|60)\\w*"));
    const QRegularExpressionMatch m = re.match(model);
    if (!m.hasMatch())
        return -1;
    const QString number = m.captured(1);
    return (number == QLatin1String("85") || number == QLatin1String("86")) ? 0 : 1;
}

bool ModelTable::isNoParallelModel(const QString &model)
{
    return kNoParallelModels.contains(model, Qt::CaseInsensitive);
}

bool ModelTable::isAcDcModel(const QString &model)
{
    return kAcDcModels.contains(model, Qt::CaseInsensitive);
}
