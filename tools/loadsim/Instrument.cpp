#include "Instrument.h"

#include <QtMath>

#include <algorithm>
#include <cmath>

namespace {

const QStringList kSlewWords = {QStringLiteral("FAST"), QStringLiteral("NORM"), QStringLiteral("SLOW")};
const QStringList kOffOn = {QStringLiteral("OFF"), QStringLiteral("ON")};

QByteArray line(const QString &text)
{
    return text.toUtf8() + '\n';
}

QString fixed(double v, int decimals)
{
    return QString::number(v, 'f', decimals);
}

const char *const kTripNames[] = {"OVP", "OCP", "OPP"};

} // namespace

Instrument::Instrument(const InstrumentOptions &options)
    : m_opt(options), m_limits(ModelLimits::forModel(options.model))
{
    m_clock.start();
    m_forcedTrips = options.trips;
    m_sourceVolt = options.sourceVolt;
    m_localLock = options.local;

    // Static mode
    addNumber("CURR", 1);
    addNumber("CURR:SLEW:RISE", 1);
    addNumber("CURR:SLEW:FALL", 1);
    addNumber("VOLT", 5);
    addWords("VOLT:SLEW:RISE", kSlewWords, 1);
    addWords("VOLT:SLEW:FALL", kSlewWords, 1);
    addNumber("RES", 10);
    addWords("RES:SLEW:RISE", kSlewWords, 1);
    addWords("RES:SLEW:FALL", kSlewWords, 1);
    addNumber("POW", 10);
    addWords("POW:SLEW:RISE", kSlewWords, 1);
    addWords("POW:SLEW:FALL", kSlewWords, 1);
    addWords("DYN:MODE", {QStringLiteral("continuous"), QStringLiteral("pulse")}, 0);
    addNumber("DYN:LOW", 1);
    addNumber("DYN:HIGH", 2);
    addNumber("DYN:LOW:DWEL", 1);
    addNumber("DYN:HIGH:DWEL", 1);
    addNumber("DYN:SLEW:RISE", 1);
    addNumber("DYN:SLEW:FALL", 1);
    addWords("VOLT:RANG", {QStringLiteral("0"), QStringLiteral("1")}, 1);
    addWords("CURR:RANG", {QStringLiteral("0"), QStringLiteral("1")}, 1);
    addWords("DCAC:MODE", {QStringLiteral("DC"), QStringLiteral("AC")}, 0);
    addWords("INP:SHOR", kOffOn, 0);
    addWords("FUNC", {QStringLiteral("resistance"), QStringLiteral("current"), QStringLiteral("voltage"),
                      QStringLiteral("power"), QStringLiteral("dynamic")}, 1);
    addNumber("MODE", 0, true);
    addNumber("VOLT:PROT", m_limits.maxOvp);
    addNumber("CURR:PROT", m_limits.maxOcp);
    addNumber("POW:PROT", m_limits.maxOpp);
    // Battery test
    addNumber("BAT", 1);
    addNumber("BAT:VST", 10);
    addNumber("BAT:CST", 1);
    addNumber("BAT:TIM", 10);
    addWords("BAT:VEN", kOffOn, 0);
    addWords("BAT:CEN", kOffOn, 0);
    addWords("BAT:TEN", kOffOn, 0);
    // Parallel operation
    addWords("PAR", kOffOn, 0);
    addWords("PAR:ID", {QStringLiteral("SLAVE"), QStringLiteral("MASTER")}, 1);
    addNumber("PAR:ADD", 1, true);
    // List memory
    addWords("LIST:MODE", {QStringLiteral("auto"), QStringLiteral("manual"), QStringLiteral("extern")}, 0);
    addNumber("LIST:STEP", 0, true);
    addNumber("LIST:CYCLE", 1, true);
    addNumber("LIST:INDEX", 1, true);
}

void Instrument::addNumber(const char *header, double value, bool integer)
{
    Setting s;
    s.integer = integer;
    s.value = value;
    m_settings.insert(QLatin1String(header), s);
}

void Instrument::addWords(const char *header, const QStringList &words, int index)
{
    Setting s;
    s.words = words;
    s.value = index;
    m_settings.insert(QLatin1String(header), s);
}

double Instrument::num(const char *header) const
{
    return m_settings.value(QLatin1String(header)).value;
}

int Instrument::index(const char *header) const
{
    return int(m_settings.value(QLatin1String(header)).value);
}

bool Instrument::parseTrips(const QString &text, unsigned *trips)
{
    unsigned t = 0;
    const QStringList parts = text.split(QLatin1Char(','), Qt::SkipEmptyParts);
    for (const QString &p : parts) {
        const QString name = p.trimmed().toUpper();
        if (name == QLatin1String("NONE"))
            continue;
        bool found = false;
        for (int i = 0; i < 3; ++i) {
            if (name == QLatin1String(kTripNames[i])) {
                t |= 1u << i;
                found = true;
            }
        }
        if (!found)
            return false;
    }
    *trips = t;
    return true;
}

bool Instrument::applySetting(Setting &s, const QString &arg, QString *error)
{
    if (arg.isEmpty()) {
        *error = QStringLiteral("missing value");
        return false;
    }
    if (!s.words.isEmpty()) {
        for (int i = 0; i < s.words.size(); ++i) {
            if (arg.compare(s.words.at(i), Qt::CaseInsensitive) == 0) {
                s.value = i;
                return true;
            }
        }
        bool ok = false;
        const int i = arg.toInt(&ok);
        if (!ok || i < 0 || i >= s.words.size()) {
            *error = QStringLiteral("value out of range: %1").arg(arg);
            return false;
        }
        s.value = i;
        return true;
    }
    bool ok = false;
    const double v = arg.toDouble(&ok);
    if (!ok || !std::isfinite(v) || (s.integer && v != std::floor(v))) {
        *error = QStringLiteral("not a %1: %2").arg(s.integer ? QStringLiteral("whole number") : QStringLiteral("number"), arg);
        return false;
    }
    s.value = v;
    return true;
}

QByteArray Instrument::settingReply(const Setting &s) const
{
    if (!s.words.isEmpty())
        return line(s.words.value(int(s.value)));
    if (s.integer)
        return line(QString::number(qRound64(s.value)));
    return line(QString::number(s.value, 'g', 6));
}

void Instrument::splitLine(const QString &line, QString *header, QString *arg)
{
    const QString t = line.trimmed();
    const int sp = t.indexOf(QLatin1Char(' '));
    *header = (sp < 0 ? t : t.left(sp)).toUpper();
    *arg = sp < 0 ? QString() : t.mid(sp + 1).trimmed();
}

Instrument::Result Instrument::handle(const QString &text)
{
    Result r;
    const QString t = text.trimmed();
    if (t.isEmpty()) {
        r.known = true; // blank lines are ignored
        return r;
    }
    QString header, arg;
    splitLine(t, &header, &arg);
    r.query = header.endsWith(QLatin1Char('?'));

    advance();
    if (handleSpecial(header, arg, r)) {
        checkProtections();
        return r;
    }

    const QString name = r.query ? header.left(header.size() - 1) : header;
    auto it = m_settings.find(name);
    if (it == m_settings.end()) {
        r.error = QStringLiteral("unknown command");
        return r;
    }
    if (r.query) {
        r.known = true;
        r.reply = settingReply(*it);
        return r;
    }
    if (!applySetting(*it, arg, &r.error))
        return r;
    r.known = true;
    if (name == QLatin1String("FUNC")) {
        // Choosing a static function leaves battery mode and stops a running list.
        m_settings[QStringLiteral("MODE")].value = 0;
        m_listStep = -1;
    }
    if ((name == QLatin1String("MODE") || name == QLatin1String("FUNC")) && !batteryMode() && m_batStatus == BatTesting)
        m_batStatus = BatIdle;
    if (name == QLatin1String("LIST:MODE") || name == QLatin1String("LIST:STEP") || name == QLatin1String("LIST:CYCLE"))
        m_listLoaded = false; // a changed list must be loaded again
    checkProtections();
    return r;
}

bool Instrument::handleSpecial(const QString &header, const QString &arg, Result &r)
{
    r.known = true;
    const auto is = [&](const char *h) { return header == QLatin1String(h); };

    if (is("*IDN?")) {
        r.reply = line(!m_opt.idn.isEmpty() ? m_opt.idn
                                            : QStringLiteral("Darvik,%1,SIM000001,V1.00").arg(m_opt.model));
    } else if (is("*ODN?")) {
        r.reply = line(!m_opt.odn.isEmpty() ? m_opt.odn
                                            : QStringLiteral("Darvik,%1,SIM000001,V1.00").arg(m_opt.model));
    } else if (is("SYST:REM")) {
        m_remote = true;
    } else if (is("SYST:LOC")) {
        m_remote = false;
    } else if (is("SYST:REM?")) {
        r.reply = line(m_remote && !m_localLock ? QStringLiteral("1") : QStringLiteral("0"));
    } else if (is("INP")) {
        const QString a = arg.toUpper();
        if (a == QLatin1String("ON") || a == QLatin1String("1"))
            setInput(Input::On);
        else if (a == QLatin1String("OFF") || a == QLatin1String("0"))
            setInput(Input::Off);
        else if (a == QLatin1String("PAUSE"))
            setInput(Input::Pause);
        else {
            r.known = false;
            r.error = QStringLiteral("bad input state: %1").arg(arg);
        }
    } else if (is("INP?")) {
        r.reply = line(inputSinking() ? QStringLiteral("ON") : QStringLiteral("OFF"));
    } else if (is("MEAS:VOLT?")) {
        r.reply = line(fixed(measure().volt, 3));
    } else if (is("MEAS:CURR?")) {
        r.reply = line(fixed(measure().curr, 3));
    } else if (is("MEAS:POW?")) {
        r.reply = line(fixed(measure().pow, 3));
    } else if (is("MEAS:ALL:INFO?")) {
        const Reading m = measure();
        const unsigned t = trips();
        r.reply = line(QStringLiteral("%1,%2,%3,%4,%5,%6")
                           .arg(fixed(m.volt, 3), fixed(m.curr, 3), fixed(m.pow, 3),
                                kOffOn.at((t & TripOvp) ? 1 : 0), kOffOn.at((t & TripOcp) ? 1 : 0),
                                kOffOn.at((t & TripOpp) ? 1 : 0)));
    } else if (is("PAR:NUM?")) {
        r.reply = line(QString::number(index("PAR") == 1 ? m_opt.parallelUnits : 1));
    } else if (is("LIST:VOLTAGE") || is("LIST:CURRENT") || is("LIST:TIMER")) {
        bool ok = false;
        const double v = arg.toDouble(&ok);
        if (!ok || !std::isfinite(v)) {
            r.known = false;
            r.error = QStringLiteral("not a number: %1").arg(arg);
            return true;
        }
        ListStep &step = m_listSteps[index("LIST:INDEX")];
        (is("LIST:VOLTAGE") ? step.level : is("LIST:CURRENT") ? step.slope : step.time) = v;
        m_listLoaded = false;
    } else if (is("LIST:VOLTAGE?") || is("LIST:CURRENT?") || is("LIST:TIMER?")) {
        const ListStep step = m_listSteps.value(index("LIST:INDEX"));
        const double v = is("LIST:VOLTAGE?") ? step.level : is("LIST:CURRENT?") ? step.slope : step.time;
        r.reply = line(QString::number(v, 'g', 6));
    } else if (is("LIST:LOAD")) {
        m_listLoaded = index("LIST:STEP") > 0;
        m_listStep = -1;
    } else if (is("LIST:LOAD?")) {
        r.reply = line(kOffOn.at(m_listLoaded ? 1 : 0));
    } else if (is("LIST:TRIG")) {
        const int steps = index("LIST:STEP");
        if (m_listLoaded && index("LIST:MODE") != 0 && steps > 0)
            m_listStep = (m_listStep + 1) % steps;
    } else if (is("BAT:ALL?")) {
        const Reading m = measure();
        r.reply = line(QStringLiteral("%1,%2,%3,%4,%5")
                           .arg(fixed(m.volt, 3), fixed(m.curr, 3), fixed(m_batCap, 4), fixed(m_batEnergy, 4),
                                fixed(m_batTime, 1)));
    } else if (is("BAT:TIME?")) {
        r.reply = line(fixed(m_batTime, 1));
    } else if (is("BAT:STAT?")) {
        r.reply = line(QString::number(int(m_batStatus)));
    } else if (is("SIM:TRIP")) {
        unsigned t = 0;
        if (!parseTrips(arg, &t)) {
            r.known = false;
            r.error = QStringLiteral("unknown protection in: %1").arg(arg);
            return true;
        }
        m_forcedTrips = t;
        if (t == 0)
            m_naturalTrips = 0;
    } else if (is("SIM:TRIP?")) {
        QStringList names;
        for (int i = 0; i < 3; ++i)
            if (trips() & (1u << i))
                names << QLatin1String(kTripNames[i]);
        r.reply = line(names.isEmpty() ? QStringLiteral("NONE") : names.join(QLatin1Char(',')));
    } else if (is("SIM:LOCAL")) {
        m_localLock = arg == QLatin1String("1") || arg.compare(QLatin1String("ON"), Qt::CaseInsensitive) == 0;
    } else if (is("SIM:SOURCE")) {
        bool ok = false;
        const double v = arg.toDouble(&ok);
        if (!ok || v < 0) {
            r.known = false;
            r.error = QStringLiteral("bad source voltage: %1").arg(arg);
            return true;
        }
        m_sourceVolt = v;
    } else if (is("SIM:SOURCE?")) {
        r.reply = line(QString::number(m_sourceVolt, 'g', 6));
    } else if (is("SIM:BAT")) {
        if (arg.compare(QLatin1String("FAIL"), Qt::CaseInsensitive) != 0) {
            r.known = false;
            r.error = QStringLiteral("unknown battery action: %1").arg(arg);
            return true;
        }
        if (m_batStatus == BatTesting)
            finishBattery(BatFailure);
    } else {
        r.known = false;
        return false;
    }
    return true;
}

bool Instrument::batteryMode() const
{
    const int mode = index("MODE");
    switch (m_limits.series) {
    case 0:
        return mode == 6;
    case 1:
        return mode == 4;
    default:
        return mode == 4 || mode == 6;
    }
}

bool Instrument::inputSinking() const
{
    return m_input == Input::On && trips() == 0;
}

bool Instrument::listRunning() const
{
    return m_listLoaded && m_listStep >= 0 && index("LIST:MODE") != 0;
}

void Instrument::setInput(Input input)
{
    const bool wasOn = m_input == Input::On;
    if (input == Input::On && !wasOn) {
        m_naturalTrips = 0; // switching the input on re-arms the protections
        if (batteryMode() && m_batStatus != BatTesting) {
            m_batStatus = BatTesting; // a fresh test on a fresh battery
            m_batCap = m_batEnergy = m_batTime = 0;
            m_batUsedAh = 0;
        }
    }
    if (input == Input::Off) {
        if (m_batStatus == BatTesting)
            m_batStatus = BatIdle; // test aborted; its figures stay readable
        m_listStep = -1;           // a triggered list starts again from its first step
    }
    m_input = input;
    m_lastAdvanceMs = m_clock.elapsed();
    checkProtections();
}

double Instrument::openCircuitVolt() const
{
    if (!batteryMode())
        return m_sourceVolt;
    // Battery: falls linearly to three quarters of the full voltage, then collapses.
    const double left = 1.0 - m_batUsedAh / m_opt.batteryAh;
    if (left <= 1e-9)
        return 0;
    const double empty = 0.75 * m_sourceVolt;
    return empty + (m_sourceVolt - empty) * left;
}

Instrument::Reading Instrument::measure() const
{
    Reading r;
    const double voc = openCircuitVolt();
    const double rs = m_opt.sourceRes;
    r.volt = voc;
    if (!inputSinking())
        return r;
    double iMax = m_limits.maxCurr;
    if (rs > 0)
        iMax = std::min(iMax, voc / rs);
    double i = 0;
    if (batteryMode()) {
        i = num("BAT");
    } else if (listRunning()) {
        // The step level is the first value the list holds for a step.
        i = m_listSteps.value(m_listStep + 1).level;
    } else if (index("INP:SHOR") == 1) {
        i = iMax;
    } else {
        switch (index("FUNC")) {
        case 0: { // CR
            const double res = num("RES");
            i = res + rs > 0 ? voc / (res + rs) : iMax;
            break;
        }
        case 1: // CC
            i = num("CURR");
            break;
        case 2: { // CV
            const double v = num("VOLT");
            i = v < voc ? (rs > 0 ? (voc - v) / rs : iMax) : 0;
            break;
        }
        case 3: { // CP
            const double p = num("POW");
            if (rs <= 0) {
                i = voc > 0 ? p / voc : 0;
            } else {
                const double disc = voc * voc - 4 * rs * p;
                i = disc >= 0 ? (voc - std::sqrt(disc)) / (2 * rs) : voc / (2 * rs);
            }
            break;
        }
        case 4: { // CCD: continuous alternation of the two levels; pulse mode rests at the low level
            const qint64 high = qMax<qint64>(1, qRound64(num("DYN:HIGH:DWEL")));
            const qint64 low = qMax<qint64>(1, qRound64(num("DYN:LOW:DWEL")));
            const bool inHigh = index("DYN:MODE") == 0 && m_clock.elapsed() % (high + low) < high;
            i = inHigh ? num("DYN:HIGH") : num("DYN:LOW");
            break;
        }
        default:
            break;
        }
    }
    r.curr = std::clamp(i, 0.0, std::max(0.0, iMax));
    r.volt = std::max(0.0, voc - r.curr * rs);
    r.pow = r.volt * r.curr;
    return r;
}

void Instrument::checkProtections()
{
    unsigned t = 0;
    const Reading m = measure();
    if (m.volt > num("VOLT:PROT"))
        t |= TripOvp;
    if (inputSinking()) {
        if (m.curr > num("CURR:PROT"))
            t |= TripOcp;
        if (m.pow > num("POW:PROT"))
            t |= TripOpp;
    }
    if (t) {
        m_naturalTrips |= t;
        if (m_input == Input::On)
            m_input = Input::Off; // a tripped protection switches the input off
    }
    if (trips() && m_batStatus == BatTesting)
        finishBattery(BatFailure);
}

void Instrument::finishBattery(BatStatus status)
{
    m_batStatus = status;
    m_input = Input::Off;
}

void Instrument::advance()
{
    const qint64 now = m_clock.elapsed();
    double dt = (now - m_lastAdvanceMs) / 1000.0 * m_opt.timeScale;
    m_lastAdvanceMs = now;
    if (m_batStatus != BatTesting || !batteryMode() || !inputSinking())
        return;
    const double maxStep = std::max(0.5, dt / 20000.0);
    while (m_batStatus == BatTesting) {
        const Reading m = measure();
        double h = std::min(dt, maxStep);
        const bool timeCut = index("BAT:TEN") == 1;
        const bool capCut = index("BAT:CEN") == 1;
        if (timeCut)
            h = std::min(h, std::max(0.0, num("BAT:TIM") - m_batTime));
        if (m.curr > 0) {
            if (capCut)
                h = std::min(h, std::max(0.0, (num("BAT:CST") - m_batCap) * 3600.0 / m.curr));
            h = std::min(h, std::max(0.0, (m_opt.batteryAh - m_batUsedAh) * 3600.0 / m.curr));
            // The voltage falls linearly with the charge taken: stop right at the cut-off.
            const double fallPerSecond = 0.25 * m_sourceVolt / m_opt.batteryAh * m.curr / 3600.0;
            if (index("BAT:VEN") == 1 && fallPerSecond > 0)
                h = std::min(h, std::max(0.0, (m.volt - num("BAT:VST")) / fallPerSecond));
        }
        m_batTime += h;
        m_batCap += m.curr * h / 3600.0;
        m_batUsedAh += m.curr * h / 3600.0;
        m_batEnergy += m.volt * m.curr * h / 3600.0;
        dt -= h;

        const Reading after = measure();
        const double eps = 1e-9;
        if (timeCut && m_batTime >= num("BAT:TIM") - eps)
            finishBattery(BatSuccess);
        else if (capCut && m_batCap >= num("BAT:CST") - eps)
            finishBattery(BatSuccess);
        else if (index("BAT:VEN") == 1 && after.volt <= num("BAT:VST") + eps)
            finishBattery(BatSuccess);
        else if (m_batUsedAh >= m_opt.batteryAh - eps)
            finishBattery(BatFailure); // flat before any cut-off was reached
        if (dt <= 1e-12 || h <= 0)
            break;
    }
}
