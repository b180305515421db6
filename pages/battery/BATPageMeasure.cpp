// Battery test page: the poll timer, the run time base, the readings, the
// state of health and the internal-resistance estimate.
#include "BATPage.h"
#include "ui_BATPage.h"

#include "BATCommands.h"
#include "BATProcessState.h"
#include "PageTools.h"
#include "ReplyRules.h"

#include <QDebug>

#include <cfloat>
#include <cmath>

namespace {

const char *const kLinkOff = "color: rgb(255, 0, 0);";
const char *const kSohStyle = "color: rgb(0, 255, 0);";
const char *const kRiStyle = "color: rgb(255, 85, 0);";
const char *const kInvalidStyle = "color: rgb(255, 0, 0);";

// Samples at least this far apart go into the chart.
constexpr qint64 kSampleMs = 300;
constexpr qint64 kShowMs = 650;
constexpr qint64 kQueryMs = 750;
// Run time window whose voltages give the loaded voltage.
constexpr qint64 kRingFromMs = 3000;
constexpr qint64 kRingToMs = 5000;

QString fixed3(float v)
{
    return QString::number(double(v), 'f', 3);
}

} // namespace

void BATPage::timerTimeOut()
{
    BATProcessState &s = BATProcessState::instance();
    const qint64 now = s.nowMs();

    if (++s.tickCount > 10) {
        s.tickCount = 0;
        if (m_statusRequested <= 1) {
            m_statusRequested = 10;
            emit BATgetDevStatus();
            emit getLimitParam();
            qDebug() << "BATgetDevStatus";
        }
        if (!m_connectStatus) {
            ui->labelLinkStatus->setText(QStringLiteral("OFF"));
            ui->labelLinkStatus->setStyleSheet(QLatin1String(kLinkOff));
            m_runState = Stopped;
            m_devStatusFlag = 0;
            m_readBackDone = false;
        }
        updateRunControls(m_runState);
        setLogStatus(fileSaveParams().recordState);
    }

    if (m_runState == Running) {
        if (m_show.skipTicks > 0) {
            m_show.cap = 0;
            --m_show.skipTicks;
            return;
        }
        if (ready())
            runTimingAndSampling(now);
        displayStep(now);
        return;
    }
    if (!ready())
        return;
    if (m_runState == Paused) {
        if (!s.resumePending) {
            s.resumePending = true;
            s.runPauseStartMs = now;
        }
    } else {
        s.runStarted = false;
        s.runElapsedMs = 0;
        m_show.noLoadVolt = m_show.volt;
        s.ringIndex = 0;
        s.ringFilled = 0;
        s.averageDone = false;
    }
    displayStep(now);
}

void BATPage::runTimingAndSampling(qint64 now)
{
    BATProcessState &s = BATProcessState::instance();
    if (s.resumePending) {
        // Paused time does not count as run time.
        s.resumePending = false;
        s.runStartMs += now - s.runPauseStartMs;
    }
    if (!s.runStarted) {
        s.runStartMs = now;
        m_voltMax = m_currMax = m_capMax = 0;
        s.lastShowMs = 0;
        s.lastQueryMs = 0;
        s.runStarted = true;
        s.runElapsedMs = 0;
        if (now - s.lastSampleMs >= kSampleMs) {
            s.lastSampleMs = now;
            m_show.loadVolt = m_show.volt;
            plotSample();
        }
        return;
    }
    s.runElapsedMs = now - s.runStartMs;
    if (now - s.lastSampleMs < kSampleMs)
        return;
    s.lastSampleMs = now;
    const qint64 e = s.runElapsedMs;
    if (e >= kRingFromMs && e <= kRingToMs) {
        if (!s.averageDone) {
            s.loadVoltRing[s.ringIndex] = m_show.volt;
            s.ringIndex = (s.ringIndex + 1) % BATProcessState::kRingSize;
            if (s.ringFilled < BATProcessState::kRingSize)
                ++s.ringFilled;
        }
    } else if (e < kRingFromMs) {
        m_show.loadVolt = m_show.volt;
    } else if (!s.averageDone) {
        // The mean of every filled entry; without one (a pause over the whole
        // window) the last live voltage stays.
        if (s.ringFilled > 0) {
            double sum = 0;
            for (int i = 0; i < s.ringFilled; ++i)
                sum += double(s.loadVoltRing[i]);
            m_show.loadVolt = float(sum / s.ringFilled);
        }
        s.averageDone = true;
    }
    plotSample();
}

void BATPage::plotSample()
{
    const BATProcessState &s = BATProcessState::instance();
    addChartReading(s.runElapsedMs, double(m_show.volt), double(m_show.curr), double(m_show.cap));
    showHealthResults(true);
}

void BATPage::displayStep(qint64 now)
{
    BATProcessState &s = BATProcessState::instance();
    if (now - s.lastShowMs >= kShowMs) {
        s.lastShowMs = now;
        ui->labelVoltage->setText(fixed3(m_show.volt) + QLatin1Char('V'));
        ui->labelCurrent->setText(fixed3(m_show.curr) + QLatin1Char('A'));
        ui->labelAh->setText(fixed3(m_show.cap) + QStringLiteral("Ah"));
        ui->labelPow->setText(fixed3(m_show.energy) + QStringLiteral("Wh"));
        queryAllValues();
    }
    if (now - s.lastQueryMs >= kQueryMs) {
        s.lastQueryMs = now;
        queryTimeAndStatus();
    }
}

void BATPage::queryAllValues()
{
    if (ready()) {
        send(BATCommands::queryAll());
        return;
    }
    m_show.curr = m_show.volt = m_show.cap = m_show.energy = m_show.time = 0;
}

void BATPage::queryTimeAndStatus()
{
    if (!ready())
        return;
    send(BATCommands::queryTime());
    send(BATCommands::queryStatus());
}

void BATPage::showHealthResults(bool valid)
{
    auto showInvalid = [](QLabel *l) {
        l->setStyleSheet(QLatin1String(kInvalidStyle));
        l->setText(QStringLiteral("Invalid"));
    };
    if (!valid) {
        showInvalid(ui->label_Soh);
        showInvalid(ui->label_Ri);
        return;
    }
    // Worked out in double: readings near the float limits must not overflow
    // into a result that is no number; one the float cannot hold is invalid.
    const auto fitsFloat = [](double v) { return std::isfinite(v) && std::fabs(v) <= double(FLT_MAX); };
    double soh = double(m_show.cap) / double(m_mode.batCap) * 100.0;
    if (soh > 100)
        soh = 100;
    if (fitsFloat(soh)) {
        m_show.soh = float(soh);
        ui->label_Soh->setStyleSheet(QLatin1String(kSohStyle));
        ui->label_Soh->setText(QString::number(soh, 'f', 1) + QLatin1Char('%'));
    } else {
        m_show.soh = 0;
        showInvalid(ui->label_Soh);
    }

    // Without a set current there is no estimate (the drop divided by 0).
    double ri = m_mode.setCurr > 0
                    ? (double(m_show.noLoadVolt) - double(m_show.loadVolt)) / double(m_mode.setCurr)
                    : NAN;
    if (ri < 0)
        ri = 0;
    if (!fitsFloat(ri)) {
        m_show.ri = 0;
        showInvalid(ui->label_Ri);
        return;
    }
    m_show.ri = float(ri);
    ui->label_Ri->setStyleSheet(QLatin1String(kRiStyle));
    ui->label_Ri->setText(QString::number(ri, 'f', 3) + QChar(0x03A9));
}

void BATPage::showRunTime(double seconds)
{
    // Whole seconds; a time out of any sensible range shows as its bound.
    const double bounded = qBound(0.0, seconds, 1e12);
    ui->label_RunTimer->setText(formatHMS(qint64(bounded)));
}

void BATPage::parseMeasureReply(const DataPack &p)
{
    const QString &k = p.key;
    const bool ok = p.status == DataPack::Received;
    float number = 0;
    // Readings that are no finite number keep what is shown.
    const bool isNumber = ok && toFiniteFloat(p.data, &number);

    if (k == QLatin1String("SYS:VOLT:M")) {
        if (isNumber)
            m_show.volt = number;
    } else if (k == QLatin1String("SYS:CURR:M")) {
        if (isNumber)
            m_show.curr = number;
    } else if (k == QLatin1String("SYS:CAPA:M")) {
        if (isNumber) {
            m_show.cap = number;
            qDebug() << "SYS:CAPA:M" << number;
        }
    } else if (k == QLatin1String("SYS:ENERGY:M")) {
        if (isNumber)
            m_show.energy = number;
    } else if (k == QLatin1String("SYS:ALL:M")) {
        if (!ok || p.data.isEmpty() || !p.data.contains(QLatin1Char(',')))
            return;
        const QStringList fields = p.data.split(QLatin1Char(','));
        if (fields.size() < 5)
            return;
        // All five or none: a reply with a field that is no finite number changes nothing.
        float v[5];
        for (int i = 0; i < 5; ++i)
            if (!toFiniteFloat(fields[i], &v[i])) {
                qDebug() << "SYS:ALL:M" << logPrefix(p.data);
                return;
            }
        m_show.volt = v[0];
        m_show.curr = v[1];
        m_show.cap = v[2];
        m_show.energy = v[3];
        m_show.time = v[4];
        showRunTime(double(m_show.time));
    } else if (k == QLatin1String("SYS:TIME:M")) {
        if (isNumber) {
            m_show.time = number;
            showRunTime(double(number));
        }
    } else if (k == QLatin1String("SYS:STATUS:M")) {
        bool isInt = false;
        const int status = p.data.trimmed().toInt(&isInt);
        if (ok && isInt)
            handleTestStatus(status);
    } else if (k == QLatin1String("SYS:OVP:M")) {
        qDebug() << "=========SYS:OVP:M===========";
        if (isNumber)
            ui->SpinLimitOVP->setValue(double(number));
    } else if (k == QLatin1String("SYS:OCP:M")) {
        qDebug() << "=========SYS:OCP:M===========";
        if (isNumber)
            ui->SpinLimitOCP->setValue(double(number));
    } else if (k == QLatin1String("SYS:OPP:M")) {
        qDebug() << "=========SYS:OPP:M===========";
        if (isNumber)
            ui->SpinLimitOPP->setValue(double(number));
    }
}
