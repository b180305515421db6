#pragma once

#include "ModelLimits.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QMap>
#include <QString>
#include <QStringList>

// Options that shape the simulated instrument.
struct InstrumentOptions
{
    QString model = QStringLiteral("KTR8548");
    QString idn;                  // whole "*IDN?" reply; empty: built from the model
    QString odn;                  // whole "*ODN?" reply; empty: built from the model
    double sourceVolt = 12.0;     // open-circuit voltage of the source at the input (V)
    double sourceRes = 0.05;      // its internal resistance (ohm)
    double batteryAh = 2.0;       // capacity of the simulated battery (Ah)
    double timeScale = 1.0;       // simulated seconds per real second (battery test)
    int parallelUnits = 2;        // units online while parallel operation is on
    bool local = false;           // the remote-state query always reports local mode
    unsigned trips = 0;           // protections tripped from the start (Instrument::Trip bits)
};

// The state model of one electronic load: every setting, the input, the
// source it loads, protections, the battery test, the list memory and the
// parallel settings. One command line in, at most one reply line out.
class Instrument
{
public:
    enum Trip : unsigned { TripOvp = 1, TripOcp = 2, TripOpp = 4 };

    struct Result
    {
        bool known = false;     // the command was understood and applied
        bool query = false;     // it asks for a reply
        QByteArray reply;       // the reply line, ending in "\n" (queries only)
        QString error;          // why an unknown or malformed command was refused
    };

    explicit Instrument(const InstrumentOptions &options);

    // Handles one command line without its line ending.
    Result handle(const QString &line);

    // How a line is read: trimmed, the header up to the first space in upper
    // case, the rest trimmed as its argument.
    static void splitLine(const QString &line, QString *header, QString *arg);

    // Parses "OVP,OCP" style trip lists ("NONE" or empty: none); false on an unknown name.
    static bool parseTrips(const QString &text, unsigned *trips);

private:
    struct Setting
    {
        QStringList words;      // empty: a number; else the reply word of each index
        bool integer = false;   // numbers: whole numbers only
        double value = 0;       // the number, or the index into words
    };
    struct Reading
    {
        double volt = 0, curr = 0, pow = 0;
    };
    struct ListStep
    {
        double level = 0, slope = 0, time = 0;
    };
    enum class Input { Off, On, Pause };
    enum BatStatus { BatIdle = 0, BatTesting = 1, BatSuccess = 2, BatFailure = 3 };

    void addNumber(const char *header, double value, bool integer = false);
    void addWords(const char *header, const QStringList &words, int index);
    bool applySetting(Setting &s, const QString &arg, QString *error);
    QByteArray settingReply(const Setting &s) const;
    double num(const char *header) const;
    int index(const char *header) const;

    bool handleSpecial(const QString &header, const QString &arg, Result &r);
    void setInput(Input input);
    bool batteryMode() const;
    bool inputSinking() const;
    bool listRunning() const;
    double openCircuitVolt() const;
    Reading measure() const;
    void advance();
    void stepBattery(double dt);
    void finishBattery(BatStatus status);
    void checkProtections();
    unsigned trips() const { return m_forcedTrips | m_naturalTrips; }

    InstrumentOptions m_opt;
    ModelLimits m_limits;
    QHash<QString, Setting> m_settings; // by upper-case header
    QElapsedTimer m_clock;
    qint64 m_lastAdvanceMs = 0;

    bool m_remote = false;
    bool m_localLock = false;
    Input m_input = Input::Off;
    unsigned m_forcedTrips = 0;
    unsigned m_naturalTrips = 0;
    double m_sourceVolt = 12;

    // battery test
    BatStatus m_batStatus = BatIdle;
    double m_batCap = 0, m_batEnergy = 0, m_batTime = 0; // Ah, Wh, s
    double m_batUsedAh = 0;                                // charge taken from the battery

    // list memory
    QMap<int, ListStep> m_listSteps;                       // by step number from 1
    bool m_listLoaded = false;
    int m_listStep = -1;                                   // step reached by triggers, -1 none
};
