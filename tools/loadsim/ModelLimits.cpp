#include "ModelLimits.h"

#include <QRegularExpression>

namespace {

struct Row
{
    const char *models[2];
    double curr, volt, pow, ovp, ocp, opp;
};

const Row kRows[] = {
    {{"KTR8547", "KTR8547V"}, 20, 150, 200, 165, 22, 210},
    {{"KTR8547R", "KTR8547RV"}, 20, 300, 200, 330, 22, 210},
    {{"KTR8547N", "KTR8547NV"}, 20, 600, 200, 615, 22, 210},
    {{"KTR8548", "KTR8548V"}, 40, 150, 400, 155, 44, 420},
    {{"KTR8548R", "KTR8548RV"}, 40, 300, 400, 330, 44, 420},
    {{"KTR8548N", "KTR8548NV"}, 40, 600, 400, 615, 44, 420},
    {{"KTR8549R", "KTR8549RV"}, 40, 300, 500, 330, 44, 520},
    {{"KTR8549N", "KTR8549NV"}, 40, 600, 500, 615, 44, 520},
    {{"KTR1541", "KTR1541-V"}, 15, 150, 150, 155, 17, 170},
    {{"KTR1542", "KTR1542-V"}, 20, 150, 300, 155, 22, 320},
    {{"KTR1543", "KTR1543-V"}, 30, 150, 300, 155, 32, 320},
    {{"KTR3041", "KTR3041-V"}, 20, 300, 150, 320, 22, 170},
    {{"KTR3042", "KTR3042-V"}, 20, 300, 300, 320, 22, 320},
    {{"KTR3043", "KTR3043-V"}, 30, 300, 300, 320, 32, 320},
    {{"KTR6041", nullptr}, 15, 600, 150, 620, 17, 170},
    {{"KTR6042", nullptr}, 20, 600, 300, 620, 22, 320},
    {{"KTR6043", nullptr}, 30, 600, 300, 620, 32, 320},
    {{"KTR8672", "KTR8672R"}, 40, 150, 500, 155, 44, 520},
    {{"KTR8672N", nullptr}, 40, 600, 500, 630, 44, 520},
    {{"KTR8674", "KTR8674R"}, 80, 600, 1000, 605, 88, 1040},
    {{"KTR8674N", nullptr}, 80, 600, 1000, 605, 88, 1040},
    {{"KTR8679N", nullptr}, 240, 600, 3000, 605, 245, 3100},
};

} // namespace

ModelLimits ModelLimits::forModel(const QString &model)
{
    ModelLimits m;
    for (const Row &r : kRows) {
        for (const char *name : r.models) {
            if (name && model.compare(QLatin1String(name), Qt::CaseInsensitive) == 0) {
                m.maxCurr = r.curr;
                m.maxVolt = r.volt;
                m.maxPow = r.pow;
                m.maxOvp = r.ovp;
                m.maxOcp = r.ocp;
                m.maxOpp = r.opp;
            }
        }
    }
    m.acDc = model.startsWith(QLatin1String("KTR86"), Qt::CaseInsensitive);
    static const QRegularExpression series(QStringLiteral("(85|86|15|30|60)\\w*"));
    const QRegularExpressionMatch match = series.match(model);
    if (match.hasMatch()) {
        const QString s = match.captured(1);
        m.series = (s == QLatin1String("85") || s == QLatin1String("86")) ? 0 : 1;
    }
    return m;
}
