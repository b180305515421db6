#include "WireLog.h"

#include <QDateTime>

bool WireLog::open(const QString &path)
{
    m_file.setFileName(path);
    return m_file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered);
}

QByteArray WireLog::escape(const QByteArray &raw)
{
    QByteArray out;
    out.reserve(raw.size());
    for (const char c : raw) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7f || c == '\\')
            out += "\\x" + QByteArray::number(u, 16).rightJustified(2, '0');
        else
            out += c;
    }
    return out;
}

void WireLog::write(const QString &channel, const QByteArray &line)
{
    if (!m_file.isOpen())
        return;
    const QByteArray entry = QDateTime::currentDateTime().toString(Qt::ISODateWithMs).toUtf8() + ' '
                             + channel.toUtf8() + ' ' + escape(line) + '\n';
    m_file.write(entry);
    m_file.flush();
}
