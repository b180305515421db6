#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QString>

// How the simulator misbehaves on purpose, for tests. One object is shared by
// every instrument channel (TCP client and serial port); the control channel
// never misbehaves but changes it at run time with the SIM:* commands below.
class Misbehaviour : public QObject
{
    Q_OBJECT
public:
    Misbehaviour();

    bool silent = false;      // never answer a query
    int silentAfter = -1;     // answer only the first N queries of the process (-1: no limit)
    int delayMs = 0;          // every reply leaves this long after its command was read
    int splitMs = -1;         // >= 0: every reply leaves in two pieces, this far apart
    int bytewiseMs = -1;      // >= 1: every reply leaves one byte at a time, this far apart
    int dropAfter = -1;       // TCP: close the connection after N command lines (-1: never)
    int floodRate = -1;       // unsolicited bytes per second (0: full speed, -1: no flood)
    QByteArray floodText;     // what the flood repeats

    int repliesSent = 0;      // queries answered so far (all channels)

    // Silence for a while: armed to start with query N+1 of the run, or running until a time.
    void armSilence(double secs, int afterQueries);
    void silenceNow(double secs);

    // Answers replacing the normal reply of a query, by upper-case header.
    void setAnswer(const QByteArray &header, const QByteArray &text, bool once);
    void removeAnswer(const QByteArray &header);

    // Called for each query on an instrument channel: whether to answer it
    // now. `reply` is the instrument's reply; a set answer for `header`
    // replaces it (an answer-once is used up when answered). A query with
    // neither is not counted.
    bool takeReply(const QByteArray &header, QByteArray *reply);

    // The SIM:* misbehaviour commands: true when `header` is one of them
    // (applied, or refused with `error` set).
    bool command(const QString &header, const QString &arg, QString *error, bool *refused);

    // Shared text rules of answers, flood text and unsolicited lines: the
    // escapes \n \r \t \\ and \xHH are decoded, a final \c means "no newline
    // appended"; otherwise a "\n" is appended unless the text ends with one.
    static bool decodeText(const QString &text, QByteArray *out, QString *error);
    // "QUERY=TEXT": the upper-case query header and the decoded text. Without
    // "=" and `needText` false: just the header, `text` left empty and `hasText` false.
    static bool parseAnswer(const QString &assignment, bool needText, QByteArray *header, QByteArray *text,
                            bool *hasText, QString *error);
    static QByteArray defaultFloodText();

signals:
    void floodChanged();                 // rate or text changed
    void say(const QByteArray &bytes);   // send these at once on every instrument channel

private:
    QElapsedTimer m_clock;
    int m_queries = 0;                   // queries with a reply seen on instrument channels
    double m_silenceSecs = 0;
    int m_silenceAfter = -1;             // >= 0: the silence starts with query N+1
    qint64 m_silenceUntilMs = -1;        // running silence ends here (m_clock)
    QHash<QByteArray, QByteArray> m_answers;
    QHash<QByteArray, QByteArray> m_answersOnce;
};
