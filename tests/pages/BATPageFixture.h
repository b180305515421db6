#pragma once

// A battery test page of its own with the poll timer stopped (the tests drive
// the ticks on a clock they set), its commands and message boxes recorded.

#include "AppDirectory.h"
#include "BATPage.h"
#include "BATProcessState.h"
#include "DialogRecorder.h"
#include "ModelFlags.h"
#include "PackCapture.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <memory>

namespace batfixture {
inline qint64 g_now = 0;
inline qint64 fakeClock() { return g_now; }
} // namespace batfixture

class BATPageFixture
{
public:
    BATPageFixture()
    {
        acModeFlag = acDcModelFlag = noParallelModelFlag = parallelFlag = false;
        modelSeriesFlag = 0;
        batfixture::g_now = 0;
        // The record log's folder goes below a scratch application folder.
        AppDirectory::setOverride(appDir.path());
        BATProcessState::reset();
        BATProcessState::setClock(batfixture::fakeClock);
        rec = std::make_unique<DialogRecorder>();
        page = std::make_unique<BATPage>();
        page->pollTimer()->stop();
        sent = std::make_unique<PackCapture>(page.get(), SIGNAL(BATsendSriealFun(DataPack)));
    }
    ~BATPageFixture()
    {
        sent.reset();
        page.reset();
        rec.reset();
        BATProcessState::setClock(nullptr);
        BATProcessState::reset();
        AppDirectory::setOverride(QString());
    }

    template <typename T>
    T *w(const char *name) const
    {
        T *o = page->findChild<T *>(QLatin1String(name));
        if (!o)
            qFatal("no widget %s", name);
        return o;
    }
    QString text(const char *label) const { return w<QLabel>(label)->text(); }
    QString style(const char *widget) const { return w<QWidget>(widget)->styleSheet(); }
    bool call(const char *slot) { return QMetaObject::invokeMethod(page.get(), slot); }
    bool call(const char *slot, int arg) { return QMetaObject::invokeMethod(page.get(), slot, Q_ARG(int, arg)); }
    void reply(const QString &key, const QString &data, int status = DataPack::Received)
    {
        page->BATrecvSerialFun(makeReplyPack(key, 0, 1, status, data, DataPack::BatteryPage));
    }
    void tick(qint64 advanceMs = 100)
    {
        batfixture::g_now += advanceMs;
        QMetaObject::invokeMethod(page.get(), "timerTimeOut");
    }
    void ticks(int n, qint64 advanceMs = 100)
    {
        for (int i = 0; i < n; ++i)
            tick(advanceMs);
    }
    // Linked and identified, without the START take-over.
    void makeReady()
    {
        page->BATreceDevFun(true, 1, QStringLiteral("STATUS"));
        sent->clear();
    }
    // START, the read-back answered up to its end; the cut-offs as given.
    void takeOver(bool timeCutoff = true, bool voltCutoff = false, bool capCutoff = false)
    {
        page->BATreceDevFun(true, 1, QStringLiteral("START"));
        const QString on = QStringLiteral("ON\n"), off = QStringLiteral("OFF\n");
        reply(QStringLiteral("SYS:BAT:VSTOP_EN:L"), voltCutoff ? on : off);
        reply(QStringLiteral("SYS:BAT:CSTOP_EN:L"), capCutoff ? on : off);
        reply(QStringLiteral("SYS:BAT:TMSTOP_EN:L"), timeCutoff ? on : off);
        sent->clear();
        rec->clear();
    }
    // Commands sent, as text.
    QStringList datas() const { return sent->datas(); }
    int count(const QString &data) const { return sent->datas().count(data); }

    QTemporaryDir appDir;
    std::unique_ptr<DialogRecorder> rec;
    std::unique_ptr<BATPage> page;
    std::unique_ptr<PackCapture> sent;
};
