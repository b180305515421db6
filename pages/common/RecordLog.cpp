#include "RecordLog.h"

#include "AppDirectory.h"
#include "Dialogs.h"

#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>

#include <cerrno>
#include <cstring>

namespace {
const qint64 kHourMs = 3600000;
// How far "_1", "_2", ... go looking for a free name in one second.
const int kMaxNameSuffix = 9999;
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
    if (m_file.isOpen())
        m_file.close();
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
    const QString base = QDateTime::fromMSecsSinceEpoch(startMs).toString(QStringLiteral("yyyyMMdd_hhmmss"));
    if (m_file.isOpen())
        m_file.close();
    QString path;
    if (!openUnusedName(m_w.dir ? m_w.dir->text() : QString(), base, &path)) {
        Dialogs::critical(m_page, tr("错误"), tr("无法创建日志文件: ") + path);
        return;
    }
    m_wholeSize = 0;
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

// The first free name of "base.csv", "base_1.csv", "base_2.csv", ... in the
// folder, created new (never an existing file, nor one that appears between
// the look and the open). False when the file cannot be created; `path` is
// then the name tried.
bool RecordLog::openUnusedName(const QString &dir, const QString &base, QString *path)
{
    const auto taken = [](const QString &p) {
        const QFileInfo info(p);
        return info.exists() || info.isSymLink();
    };
    for (int n = 0; n <= kMaxNameSuffix; ++n) {
        *path = dir + QLatin1Char('/') + base + (n ? QLatin1Char('_') + QString::number(n) : QString())
                + QStringLiteral(".csv");
        if (taken(*path))
            continue;
        m_file.setFileName(*path);
        if (m_file.open(QIODevice::WriteOnly | QIODevice::Text | QIODevice::NewOnly | QIODevice::Unbuffered))
            return true;
        if (!taken(*path))
            return false;
    }
    return false;
}

bool RecordLog::writeLine(const QString &line)
{
    const QByteArray bytes = (line + QLatin1Char('\n')).toUtf8();
    errno = 0;
    const qint64 written = m_file.write(bytes);
    if (written == bytes.size()) {
        m_wholeSize = m_file.pos();
        return true;
    }
    // The system took a part of the line or none (the disk is full, the
    // file-size limit is reached): its reason is in errno now. The file is
    // cut back to its last whole line.
    m_writeErrno = errno;
    errno = 0;
    m_cutBackErrno = m_file.resize(m_wholeSize) ? -1 : errno;
    return false;
}

QString RecordLog::causeText(int err) const
{
    switch (err) {
    case 0:
        return m_file.errorString();
    case ENOSPC:
        return tr("磁盘空间已满");
    case EFBIG:
        return tr("文件已达到系统允许的大小上限");
    default:
        return QString::fromLocal8Bit(std::strerror(err));
    }
}

void RecordLog::failWrite()
{
    const QString path = m_file.fileName();
    QString cause = causeText(m_writeErrno);
    // The part of the row that did go out could not be cut off again: the
    // file does not end after a whole row, and the operator must know.
    if (m_cutBackErrno >= 0)
        cause += QLatin1Char('\n') + tr("文件末尾留有不完整的一行: ") + causeText(m_cutBackErrno);
    m_timer->stop();
    m_file.close(); // the whole rows written stay
    m_params.recordState = Idle;
    setLogStatus(Idle);
    Dialogs::critical(m_page, tr("错误"), tr("无法写入日志文件: ") + path + QLatin1Char('\n') + cause);
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
    if (m_file.isOpen())
        m_file.close();
    m_params.recordState = Idle;
    setLogStatus(Idle);
}

void RecordLog::clear()
{
    if (m_params.recordState != Recording && m_params.recordState != Paused)
        return;
    if (m_file.isOpen()) {
        errno = 0;
        if (!m_file.resize(0)) {
            // Nothing was cleared: the rows and their count stay, and the
            // next row goes on after the last one.
            const int err = errno;
            m_file.seek(m_wholeSize);
            Dialogs::critical(m_page, tr("错误"),
                              tr("无法清空日志文件: ") + m_file.fileName() + QLatin1Char('\n') + causeText(err));
            return;
        }
        m_file.seek(0);
        m_wholeSize = 0;
    }
    m_rowNo = 0;
    m_params.storeNo = 0;
    if (m_file.isOpen() && !writeLine(m_header)) {
        failWrite();
        return;
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
