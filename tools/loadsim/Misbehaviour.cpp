#include "Misbehaviour.h"

#include <cmath>

namespace {

const double kMaxSilenceSecs = 1e9;

bool isOff(const QString &arg)
{
    return arg.compare(QLatin1String("OFF"), Qt::CaseInsensitive) == 0;
}

bool wholeNumber(const QString &arg, int min, int *out)
{
    bool ok = false;
    const int v = arg.toInt(&ok);
    if (!ok || v < min)
        return false;
    *out = v;
    return true;
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

Misbehaviour::Misbehaviour() : floodText(defaultFloodText())
{
    m_clock.start();
}

QByteArray Misbehaviour::defaultFloodText()
{
    QByteArray line;
    while (line.size() < 63)
        line += "FLOOD";
    line.truncate(63);
    return line + '\n';
}

void Misbehaviour::armSilence(double secs, int afterQueries)
{
    m_silenceSecs = secs;
    m_silenceAfter = afterQueries;
    m_silenceUntilMs = -1;
}

void Misbehaviour::silenceNow(double secs)
{
    m_silenceAfter = -1;
    m_silenceUntilMs = m_clock.elapsed() + qint64(std::ceil(secs * 1000));
}

void Misbehaviour::setAnswer(const QByteArray &header, const QByteArray &text, bool once)
{
    (once ? m_answersOnce : m_answers).insert(header, text);
}

void Misbehaviour::removeAnswer(const QByteArray &header)
{
    m_answers.remove(header);
    m_answersOnce.remove(header);
}

bool Misbehaviour::takeReply(const QByteArray &header, QByteArray *reply)
{
    if (reply->isEmpty() && !m_answers.contains(header) && !m_answersOnce.contains(header))
        return false; // nothing to answer: not counted
    ++m_queries;
    if (m_silenceAfter >= 0 && m_queries > m_silenceAfter)
        silenceNow(m_silenceSecs); // the armed silence starts with this query
    const bool inSilence = m_silenceUntilMs >= 0 && m_clock.elapsed() < m_silenceUntilMs;
    if (silent || inSilence || (silentAfter >= 0 && repliesSent >= silentAfter))
        return false;
    ++repliesSent;
    const auto once = m_answersOnce.find(header);
    if (once != m_answersOnce.end()) {
        *reply = once.value();
        m_answersOnce.erase(once);
    } else {
        const auto it = m_answers.constFind(header);
        if (it != m_answers.constEnd())
            *reply = it.value();
    }
    return true;
}

bool Misbehaviour::decodeText(const QString &text, QByteArray *out, QString *error)
{
    const QByteArray in = text.toUtf8();
    QByteArray decoded;
    decoded.reserve(in.size() + 1);
    bool newline = true;
    for (int i = 0; i < in.size(); ++i) {
        const char c = in.at(i);
        if (c != '\\') {
            decoded += c;
            continue;
        }
        if (i + 1 >= in.size()) {
            *error = QStringLiteral("a lone \\ at the end (write \\\\ for a backslash)");
            return false;
        }
        const char e = in.at(++i);
        switch (e) {
        case 'n': decoded += '\n'; break;
        case 'r': decoded += '\r'; break;
        case 't': decoded += '\t'; break;
        case '\\': decoded += '\\'; break;
        case 'x': {
            const int hi = i + 1 < in.size() ? hexDigit(in.at(i + 1)) : -1;
            const int lo = i + 2 < in.size() ? hexDigit(in.at(i + 2)) : -1;
            if (hi < 0 || lo < 0) {
                *error = QStringLiteral("\\x needs two hex digits");
                return false;
            }
            decoded += char(hi * 16 + lo);
            i += 2;
            break;
        }
        case 'c':
            if (i + 1 != in.size()) {
                *error = QStringLiteral("\\c may only end the text");
                return false;
            }
            newline = false;
            break;
        default:
            *error = QStringLiteral("unknown escape \\%1 (known: \\n \\r \\t \\\\ \\xHH, \\c at the end)")
                         .arg(QLatin1Char(e));
            return false;
        }
    }
    if (newline && !decoded.endsWith('\n'))
        decoded += '\n';
    *out = decoded;
    return true;
}

bool Misbehaviour::parseAnswer(const QString &assignment, bool needText, QByteArray *header, QByteArray *text,
                               bool *hasText, QString *error)
{
    const int eq = assignment.indexOf(QLatin1Char('='));
    const QString query = (eq < 0 ? assignment : assignment.left(eq)).trimmed().toUpper();
    if (query.size() < 2 || !query.endsWith(QLatin1Char('?')) || query.contains(QLatin1Char(' '))) {
        *error = QStringLiteral("needs QUERY=TEXT with a query header such as MEAS:VOLT?");
        return false;
    }
    *header = query.toUtf8();
    *hasText = eq >= 0;
    if (eq < 0) {
        if (needText) {
            *error = QStringLiteral("needs QUERY=TEXT");
            return false;
        }
        text->clear();
        return true;
    }
    return decodeText(assignment.mid(eq + 1), text, error);
}

bool Misbehaviour::command(const QString &header, const QString &arg, QString *error, bool *refused)
{
    const auto is = [&](const char *h) { return header == QLatin1String(h); };
    const auto refuse = [&](const QString &why) {
        *error = header + QLatin1Char(' ') + why;
        *refused = true;
        return true;
    };
    *refused = false;

    if (is("SIM:FLOOD")) {
        int rate = -1;
        if (!isOff(arg) && !wholeNumber(arg, 0, &rate))
            return refuse(QStringLiteral("takes a rate in bytes per second (0: full speed) or OFF"));
        floodRate = rate;
        emit floodChanged();
    } else if (is("SIM:FLOOD:TEXT")) {
        QByteArray text;
        QString why;
        if (!decodeText(arg, &text, &why))
            return refuse(why);
        if (text.isEmpty())
            return refuse(QStringLiteral("needs a text that is not empty"));
        floodText = text;
        emit floodChanged();
    } else if (is("SIM:SILENCE")) {
        bool ok = false;
        const double secs = arg.toDouble(&ok);
        if (!ok || !std::isfinite(secs) || secs < 0 || secs > kMaxSilenceSecs)
            return refuse(QStringLiteral("takes a number of seconds of at least 0"));
        silenceNow(secs);
    } else if (is("SIM:DELAY")) {
        int ms = 0;
        if (!wholeNumber(arg, 0, &ms))
            return refuse(QStringLiteral("takes a whole number of milliseconds of at least 0"));
        delayMs = ms;
    } else if (is("SIM:BYTEWISE")) {
        int ms = -1;
        if (!isOff(arg) && !wholeNumber(arg, 1, &ms))
            return refuse(QStringLiteral("takes a whole number of milliseconds of at least 1, or OFF"));
        bytewiseMs = ms;
    } else if (is("SIM:ANSWER") || is("SIM:ANSWER:ONCE")) {
        const bool once = is("SIM:ANSWER:ONCE");
        QByteArray query, text;
        bool hasText = false;
        QString why;
        if (!parseAnswer(arg, once, &query, &text, &hasText, &why))
            return refuse(why);
        if (hasText)
            setAnswer(query, text, once);
        else
            removeAnswer(query);
    } else if (is("SIM:SAY")) {
        QByteArray text;
        QString why;
        if (!decodeText(arg, &text, &why))
            return refuse(why);
        emit say(text);
    } else {
        return false;
    }
    return true;
}
