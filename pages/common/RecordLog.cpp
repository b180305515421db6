#include "RecordLog.h"

#include "AppDirectory.h"
#include "Dialogs.h"

#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>

namespace {
const qint64 kHourMs = 3600000;
const char kStyleRecording[] = "color: rgb(0, 0, 0);\ncolor: rgb(0, 255, 0);";
const char kStyleIdle[] = "color: rgb(0, 0, 0);\ncolor: rgb(255, 0, 0);";
const char kStylePaused[] = "color: rgb(0, 0, 0);\ncolor: rgb(0, 0, 255);";

void setEnabled(QWidget *w, bool on)
{
    if (w)
        w->setEnabled(on);
}
} // namespace

RecordLog::RecordLog(QWidget *page, const Widgets &widgets, const QString &header,
                     std::function<QStringList()> rowValues, const QString &folderCaption, QObject *parent)
    : QObject(parent)
    , m_page(page)
    , m_w(widgets)
    , m_header(header)
    , m_rowValues(std::move(rowValues))
    , m_folderCaption(folderCaption)
    , m_now([] { return QDateTime::currentMSecsSinceEpoch(); })
{
    m_timer = new QTimer(this);
    connect(m_timer, &QTimer::timeout, this, &RecordLog::writeLogRow);
}

RecordLog::~RecordLog()
{
    if (m_file.isOpen()) {
        m_stream.flush();
        m_file.close();
    }
}

void RecordLog::initLogSettings()
{
    if (m_w.interval) {
        m_w.interval->setRange(0.5, 99999);
        m_w.interval->setValue(1);
    }
    if (m_w.length) {
        m_w.length->setRange(1, 72);
        m_w.length->setValue(1);
    }
    const QString dir = AppDirectory::path() + QStringLiteral("/LOG");
    if (m_w.dir)
        m_w.dir->setText(dir);
    if (!QDir(dir).exists())
        QDir().mkpath(dir); // a failure shows when a log is started
    m_rowNo = 0;
    m_pausedTotalMs = 0;
    setEnabled(m_w.pause, false);
    setEnabled(m_w.stop, false);
    setEnabled(m_w.clear, false);
    m_params.interval = m_w.interval ? m_w.interval->value() : 1;
    m_params.storeNo = 0;
    m_params.lengthHours = m_w.length ? m_w.length->value() : 1;
    m_params.recordState = Idle;
}

void RecordLog::browse()
{
    const QString start = m_w.dir ? m_w.dir->text() : QString();
    const QString chosen = Dialogs::getExistingDirectory(m_page, m_folderCaption, start);
    if (!chosen.isEmpty() && m_w.dir)
        m_w.dir->setText(chosen);
}

void RecordLog::intervalEdited()
{
    if (m_w.interval)
        m_params.interval = m_w.interval->value();
}

void RecordLog::lengthEdited()
{
    if (m_w.length)
        m_params.lengthHours = m_w.length->value();
}

void RecordLog::start(bool deviceReady)
{
    if (m_params.recordState == Recording)
        return;
    if (!deviceReady) {
        Dialogs::Message m;
        m.text = tr("设备未连接");
        Dialogs::show(m);
        return;
    }
    if (m_params.recordState == Paused) {
        m_pausedTotalMs += now() - m_pauseStartMs;
        m_timer->start();
        m_params.recordState = Recording;
        setLogStatus(Recording);
        return;
    }
    startNewFile();
}

void RecordLog::startNewFile()
{
    const qint64 startMs = now();
    const QString name = QDateTime::fromMSecsSinceEpoch(startMs).toString(QStringLiteral("yyyyMMdd_hhmmss"))
                         + QStringLiteral(".csv");
    const QString path = (m_w.dir ? m_w.dir->text() : QString()) + QLatin1Char('/') + name;
    if (m_file.isOpen())
        m_file.close();
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Text | QIODevice::Truncate)) {
        Dialogs::critical(m_page, tr("错误"), tr("无法创建日志文件: ") + path);
        return;
    }
    m_stream.setDevice(&m_file);
    m_startMs = startMs;
    m_rowNo = 0;
    m_pausedTotalMs = 0;
    m_params.recordState = Recording;
    m_params.folder = path;
    m_params.storeNo = 0;
    if (!writeLine(m_header)) {
        failWrite();
        return;
    }
    const double seconds = m_w.interval ? m_w.interval->value() : m_params.interval;
    m_timer->start(int(seconds * 1000));
    setLogStatus(Recording);
}

bool RecordLog::writeLine(const QString &line)
{
    m_stream << line << '\n';
    m_stream.flush();
    // flush() hands the text to the file, which passes on what the system
    // refused (disk full, device gone) as its error.
    return m_stream.status() == QTextStream::Ok && m_file.error() == QFileDevice::NoError;
}

void RecordLog::failWrite()
{
    const QString path = m_file.fileName();
    const QString error = m_file.errorString();
    m_timer->stop();
    m_stream.setDevice(nullptr);
    m_file.close(); // what was written stays
    m_params.recordState = Idle;
    setLogStatus(Idle);
    Dialogs::critical(m_page, tr("错误"), tr("无法写入日志文件: ") + path + QLatin1Char('\n') + error);
}

void RecordLog::writeLogRow()
{
    if (!m_file.isOpen() || m_params.recordState != Recording)
        return;
    const qint64 t = now() - m_pausedTotalMs;
    const QDateTime at = QDateTime::fromMSecsSinceEpoch(t);
    QStringList fields;
    fields << QString::number(m_rowNo) << at.toString(QStringLiteral("yyyy-MM-dd"))
           << at.toString(QStringLiteral("hh:mm:ss:")) + QString::number(at.time().msec());
    if (m_rowValues)
        fields << m_rowValues();
    if (!writeLine(fields.join(QLatin1Char(',')))) {
        failWrite();
        return;
    }
    ++m_rowNo;
    m_params.storeNo = m_rowNo;
    if ((t - m_startMs) / kHourMs >= m_params.lengthHours) {
        stopLogging();
        Dialogs::information(m_page, tr("完成"), tr("已达到设定的记录长度 (%1 小时)").arg(m_params.lengthHours));
    }
}

void RecordLog::pause()
{
    if (m_params.recordState != Recording)
        return;
    m_pauseStartMs = now();
    m_timer->stop();
    m_params.recordState = Paused;
    setLogStatus(Paused);
}

void RecordLog::stopLogging()
{
    m_timer->stop();
    if (m_file.isOpen()) {
        m_stream.flush();
        m_stream.setDevice(nullptr);
        m_file.close();
    }
    m_params.recordState = Idle;
    setLogStatus(Idle);
}

void RecordLog::clear()
{
    if (m_params.recordState != Recording && m_params.recordState != Paused)
        return;
    m_rowNo = 0;
    m_params.storeNo = 0;
    if (m_file.isOpen()) {
        m_stream.flush();
        m_file.resize(0);
        m_file.seek(0);
        m_stream.seek(0);
        if (!writeLine(m_header)) {
            failWrite();
            return;
        }
    }
    Dialogs::information(m_page, tr("清空"), tr("当前记录已清空"));
    setLogStatus(m_params.recordState);
}

void RecordLog::setLogStatus(int state)
{
    const bool recording = state == Recording;
    const bool paused = state == Paused;
    if (m_w.status) {
        if (recording) {
            m_w.status->setStyleSheet(QLatin1String(kStyleRecording));
            m_w.status->setText(tr("记录中"));
            qDebug() << "LOG_ON";
        } else if (paused) {
            m_w.status->setStyleSheet(QLatin1String(kStylePaused));
            m_w.status->setText(tr("暂停中"));
        } else {
            m_w.status->setStyleSheet(QLatin1String(kStyleIdle));
            m_w.status->setText(tr("未开始"));
        }
    }
    if (m_w.start)
        m_w.start->setText(paused ? tr("继续记录") : tr("开始记录"));
    const bool idle = !recording && !paused;
    setEnabled(m_w.start, !recording);
    setEnabled(m_w.pause, recording);
    setEnabled(m_w.stop, !idle);
    setEnabled(m_w.clear, !idle);
    setEnabled(m_w.interval, idle);
    setEnabled(m_w.length, idle);
    setEnabled(m_w.browse, idle);
    if (m_w.sum)
        m_w.sum->setText(QString::number(m_params.storeNo));
}
