#pragma once

#include "DataPack.h"
#include "LanguageSwitch.h"
#include "SerialLinkPack.h"
#include "TcpLinkPack.h"
#include "VkdevRecords.h"
#include "elcLimitParam.h"
#include "parallel.h"

#include <QString>
#include <QTranslator>
#include <QWidget>

#include <functional>

namespace Ui {
class Quellon;
}
class QTimer;
class CCCVPage;
class ListPage;
class BATPage;
class VKDWidget;

// The main window: link panel, identification and polling of the instrument,
// model limits, parallel panel and the stack of working pages.
class Quellon : public QWidget
{
    Q_OBJECT
public:
    // Page kinds; a page's index in the stacked widget equals its kind.
    enum PageKind { NoPage = 0, StaticModePageKind = 1, ListPageKind = 2, BatteryPageKind = 3 };

    explicit Quellon(QWidget *parent = nullptr);
    ~Quellon() override;

    // The 1000 ms poll timer (tests stop it and drive timerTimeOut themselves).
    QTimer *pollTimer() const { return m_pollTimer; }

    // The program is quitting: a link still open is let go (see letGoLink).
    // The workers write those commands before they close.
    void releaseLink();

    // The page id that the replies for a page of the given kind carry (0 for
    // no page).
    static int pageIdOfKind(int kind);

    // Enters a page of the given kind. When a page of that kind is alive it is
    // shown again with a fresh "START". Otherwise the page alive is unwired,
    // removed from the stack and deleted by the event loop; `create` builds the
    // new page (no parent) and makes its connections (see wirePageCommon); the
    // window inserts it at index `kind` and shows it.
    void enterPage(int kind, const std::function<QWidget *()> &create);

    // The connections every page shares: limits and language change to the
    // page, its boot-up status and its exit request to the window.
    template <class Page>
    void wirePageCommon(Page *page)
    {
        connect(this, &Quellon::sendLimitParam, page, &Page::recvLimitParam);
        connect(this, &Quellon::sendLanguageChange, page, &Page::RecvChangeLanguage);
        connect(page, &Page::sendBootUpStatus, this, &Quellon::recvBootUpStatus);
        connect(page, SIGNAL(ExtiPage()), this, SLOT(ExitMain()));
    }

signals:
    void sendSriealFun(DataPack str);
    void getSerialInfoFun(SerialLinkPack str);
    void getTcpInfoFun(TcpLinkPack str);
    void sendModeDataFun(DataPack str);
    void setDevStatus(bool connectStatus, int devStatusFlag, QString cmd);
    void sendLimitParam(elcLimitParam limitParam);
    void sendLimitValue(float Volt, float Curr, float Pow, float OVP, float OCP, float OPP);
    void sendLanguageChange();
    // Before every opening of the LAN dialog: it binds and searches.
    void VKSendOperate(VkdevData parameter);
    // The program lets go of the link: each link worker drops the commands
    // still queued (connected directly, to stop the tick under way, and
    // queued, to drop what was sent before; see the workers' requestQueueDrop
    // and dropQueue).
    void dropQueuedCommands();

public slots:
    // Replies of both link workers.
    void recvSerialFun(DataPack str);
    void recvSerialInfoFun(SerialLinkPack str);
    void recvTcpInfoFun(TcpLinkPack str);
    // The poll tick.
    void timerTimeOut();

    // Page side.
    void recvModeDtatFun(DataPack str);
    void recvRequest();
    void recvBootUpStatus(int i);
    void recvLimitValueAck();
    void recvLimitParamAck();
    void recvAcDcMode(bool isAc);
    void ExitMain();
    // The device chosen in the LAN dialog: its address and port.
    void VKhandleResult(VkdevData str);

private slots:
    void on_comboBoxLanguage_currentIndexChanged(int index);
    void on_pushButtonHeep_clicked();
    void on_label_web_x_linkActivated(const QString &link);

    void on_comboBoxInterface_currentIndexChanged(int index);
    void on_pushButtonUpdate_clicked();
    void on_pushButtonSerialSW_clicked();
    void on_connectServer_clicked();
    void on_pushButtonSearchIP_clicked();

    void on_pushButtonEnterCCCV_clicked();
    void on_pushButtonEnterLIST_clicked();
    void on_pushButtonEnterBAT_clicked();

    void on_comboBoxPaM_currentIndexChanged(int index);
    void on_spinBoxPaAddr_editingFinished();
    void on_comboBoxPaStatus_currentIndexChanged(int index);

private:
    // Configuration and language.
    void initLanguage();
    void restoreRuntimeTexts();

    // Window command set.
    void sendCommand(const QString &key, int isRequest, int needReply, int status, const QString &cmd,
                     int pageId);
    void sendOwnCommand(const QString &key, int needReply, const QString &cmd);
    void enterRemote(bool local);
    void queryIdentity();
    void queryModel();
    void queryRemote();
    void queryAllInfo();
    void setParallel(bool on);
    void setParallelRole(int role);
    void setParallelAddress(int address);
    void queryParallel();
    void queryParallelRole();
    void queryParallelCount();
    void queryParallelAddress();

    // Link requests.
    void sendSerialLink(const QString &key, bool linkOn, int isQuery = 0);
    void sendTcpLink(const QString &key, bool linkOn);
    void requestPortList();
    void sendCloseRequest();
    void sendReconnectRequest();
    void resetSerialLinkUi(bool linked);
    void resetTcpLinkUi(bool linked);
    void resetSelectedLinkUi();

    // Dispatcher.
    void dispatchReply(const DataPack &str);
    void handleLocalMode();
    void handleMissedRemote();
    // The one way the window lets go of a link, whatever the reason (quit,
    // give-up, local mode, the operator's disconnect, a failed serial port):
    // the workers drop what they have queued; the pages switch their input
    // off while they still count the instrument as identified and are then
    // told that it is not; the resets follow (parallel operation, scaled
    // limits, model flags). Until then only the pages' input-off lines are
    // passed on to the link. Then the return to local and, with
    // `closeAtOnce`, the close request; otherwise the link closes on the
    // answer to the return to local (see dispatchReply).
    void letGoLink(bool closeAtOnce);
    // Every command for the link leaves through here (see letGoLink).
    void relayToLink(DataPack pack);
    void checkProtection(const QString &reply);
    void showLinkLampOn();
    void showNoResponse();
    void showLinkOff();
    void clearModelFlags();
    void showMessage(const QString &text);

    // Model and limits.
    void lookupModel(const QString &model);
    void updateBatteryButton();

    // Parallel operation.
    void handleParallelReply(const DataPack &str);
    void resetParallel();
    // resetParallel, and limits scaled for parallel units back to one unit's.
    void resetParallelOnLinkLoss();
    void showParallelSettings();
    void updateParallelUi();
    void rescaleLimits();

    void clearPagePointer(int kind);

    Ui::Quellon *ui = nullptr;
    QTimer *m_pollTimer = nullptr;
    QTranslator m_translator;

    int requestedPageIndex = 0;
    int currentPageKind = NoPage;
    int interfaceIndex = 0;
    int devStatusFlag = 0;
    bool connectStatus = false;
    bool reconnecting = false;
    int bootUpStatus = 0;
    VKDWidget *lanDialog = nullptr;
    QWidget *currentPage = nullptr;
    CCCVPage *cccvPage = nullptr;
    ListPage *listPage = nullptr;
    BATPage *batPage = nullptr;
    QString modelName;
    elcLimitParam limitParam;
    elcLimitParam baseLimitParam;
    LanguageSwitch languageSwitch;
    parallel parallelParam;
    int connectCooldown = 0;
    bool acMode = false;
    int missedRemoteCount = 0;
    // letGoLink is under way: only input-off lines go to the link.
    bool lettingGo = false;

    // Poll tick counters.
    qint64 remoteTickCounter = 0;
    qint64 pollTickCounter = 0;
    qint64 portRefreshCountdown = 0;
    int remoteMissPending = 0;
    int remoteSeen = 1;
};
