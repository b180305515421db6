#pragma once

#include <QFile>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTimer;
class QWidget;

// Record-log settings and state of a page (the list page keeps it as
// `FileSaveParamsList`, the battery page as `FileSaveParams`).
struct RecordLogParams
{
    int recordState = 0;   // 0 idle, 1 recording, 2 paused
    QString folder;        // full path of the current log file once started
    double interval = 1;   // s
    int lengthHours = 1;   // h
    int storeNo = 0;       // rows written to the current file
};

// The record log shared by the list and battery pages: live readings written
// to a CSV file on a timer for a chosen number of hours, with pause, resume,
// stop and clear. The page gives its widgets, the header line and the values
// of one row; the log keeps the state machine (idle, recording, paused), the
// file naming ("yyyyMMdd_hhmmss.csv" after the local start time), the timer,
// the length limit, the pause bookkeeping (paused time is left out of the
// row times and of the length) and the status display.
//
// A new log never replaces an existing file: a name already taken gets
// "_1", "_2", ... before its extension ("yyyyMMdd_hhmmss_1.csv").
//
// Every line goes to the file whole or not at all. A line the system takes
// only in part (disk full, file-size limit) is cut off again, so the file
// ends after the last whole row; the log then stops, keeps what was written
// and tells the operator with a critical box naming the file and the cause.
class RecordLog : public QObject
{
    Q_OBJECT
public:
    enum State { Idle = 0, Recording = 1, Paused = 2 };

    struct Widgets
    {
        QDoubleSpinBox *interval = nullptr;   // doubleSpinBoxInterval
        QSpinBox *length = nullptr;           // spinBoxLen
        QLineEdit *dir = nullptr;             // lineEditDir
        QPushButton *browse = nullptr;        // pushButtonBrow
        QPushButton *start = nullptr;         // pushButtonStart
        QPushButton *pause = nullptr;         // pushButtonPause
        QPushButton *stop = nullptr;          // pushButtonStop
        QPushButton *clear = nullptr;         // pushButtonClear
        QLabel *sum = nullptr;                // label_log_sum
        QLabel *status = nullptr;             // label_log_status

        // The list and battery forms name these widgets alike.
        template <class Form>
        static Widgets of(Form *ui)
        {
            Widgets w;
            w.interval = ui->doubleSpinBoxInterval;
            w.length = ui->spinBoxLen;
            w.dir = ui->lineEditDir;
            w.browse = ui->pushButtonBrow;
            w.start = ui->pushButtonStart;
            w.pause = ui->pushButtonPause;
            w.stop = ui->pushButtonStop;
            w.clear = ui->pushButtonClear;
            w.sum = ui->label_log_sum;
            w.status = ui->label_log_status;
            return w;
        }
    };

    // `header` is the file's first line without its line end ("Store No.,
    // Date,Time,Volt(V),Curr(A)"); `rowValues` gives the page's value
    // columns of one row, already formatted ("12.000", "1.500");
    // `folderCaption` is the caption of the folder dialog. `page` is the
    // parent of the message boxes.
    RecordLog(QWidget *page, const Widgets &widgets, const QString &header,
              std::function<QStringList()> rowValues, const QString &folderCaption,
              QObject *parent = nullptr);
    ~RecordLog() override;

    // Epoch milliseconds; tests replace the clock to run hours in no time.
    using Clock = std::function<qint64()>;
    void setClock(Clock clock) { m_now = std::move(clock); }

    // At construction of the page: spin boxes (values and ranges), the folder
    // (application directory + "/LOG", created when missing), the buttons
    // and the state idle.
    void initLogSettings();

    // The page's slots call these.
    void browse();                          // on_pushButtonBrow_clicked
    void intervalEdited();                  // on_doubleSpinBoxInterval_editingFinished
    void lengthEdited();                    // on_spinBoxLen_editingFinished
    void start(bool deviceReady);           // on_pushButtonStart_clicked
    void pause();                           // on_pushButtonPause_clicked
    void stopLogging();                     // on_pushButtonStop_clicked
    void clear();                           // on_pushButtonClear_clicked
    void setLogStatus(int state);           // also the page's periodic status block

    // The timer's slot: writes one row when recording (tests call it directly).
    void writeLogRow();

    const RecordLogParams &params() const { return m_params; }
    int state() const { return m_params.recordState; }
    QTimer *timer() const { return m_timer; }
    QString filePath() const { return m_file.fileName(); }

private:
    qint64 now() const { return m_now(); }
    void startNewFile();
    bool openUnusedName(const QString &dir, const QString &base, QString *path);
    // Writes one line; on failure cuts the file back to its last whole line
    // and keeps the reason in m_writeErrno (and, when even the cut-back is
    // refused, its reason in m_cutBackErrno).
    bool writeLine(const QString &line);
    void failWrite();
    // The reason of a refused write or truncation, for the operator.
    QString causeText(int err) const;

    QWidget *m_page;
    Widgets m_w;
    QString m_header;
    std::function<QStringList()> m_rowValues;
    QString m_folderCaption;
    Clock m_now;

    RecordLogParams m_params;
    QFile m_file;            // unbuffered: a refused write is seen at once
    qint64 m_wholeSize = 0;  // file size after the last whole line
    int m_writeErrno = 0;
    int m_cutBackErrno = -1; // -1: the file ends after a whole line
    QTimer *m_timer = nullptr;
    qint64 m_startMs = 0;
    int m_rowNo = 0;
    qint64 m_pauseStartMs = 0;
    qint64 m_pausedTotalMs = 0;
};
