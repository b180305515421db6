#pragma once

#include <QFile>
#include <QString>

// The wire log: one line per received command line, "<ISO time with ms> <channel> <line>",
// flushed at once. Control characters and backslashes of the line are written as \xHH.
class WireLog
{
public:
    bool open(const QString &path);
    void write(const QString &channel, const QByteArray &line);

    static QByteArray escape(const QByteArray &raw);

private:
    QFile m_file;
};
