// The working pages: entering one, its wiring to the window, and leaving it.

#include "Quellon.h"
#include "ui_Quellon.h"

#include "BATPage.h"
#include "CCCVPage.h"
#include "ListPage.h"
#include "QuellonConstants.h"

#include <QDebug>

void Quellon::enterPage(int kind, const std::function<QWidget *()> &create)
{
    requestedPageIndex = kind;
    if (currentPageKind == kind) {
        emit setDevStatus(connectStatus, devStatusFlag, kCmdStart);
        ui->stackedWidgetPower->setCurrentIndex(kind);
        return;
    }
    if (currentPageKind != NoPage && currentPage) {
        disconnect(currentPage, nullptr, this, nullptr);
        disconnect(this, nullptr, currentPage, nullptr);
        ui->stackedWidgetPower->removeWidget(currentPage);
        currentPage->deleteLater();
        clearPagePointer(currentPageKind);
        currentPage = nullptr;
        currentPageKind = NoPage;
    }
    QWidget *page = create ? create() : nullptr;
    if (!page)
        return;
    currentPage = page;
    ui->stackedWidgetPower->insertWidget(kind, page);
    ui->stackedWidgetPower->setCurrentIndex(kind);
    currentPageKind = kind;
}

void Quellon::clearPagePointer(int kind)
{
    switch (kind) {
    case StaticModePageKind: cccvPage = nullptr; break;
    case ListPageKind: listPage = nullptr; break;
    case BatteryPageKind: batPage = nullptr; break;
    default: break;
    }
}

void Quellon::on_pushButtonEnterCCCV_clicked()
{
    enterPage(StaticModePageKind, [this]() -> QWidget * {
        auto *page = new CCCVPage;
        cccvPage = page;
        connect(this, &Quellon::setDevStatus, page, &CCCVPage::CVreceDevFun);
        connect(page, &CCCVPage::CVgetDevStatus, this, &Quellon::recvRequest);
        connect(this, &Quellon::sendModeDataFun, page, &CCCVPage::CVrecvSerialFun);
        connect(page, &CCCVPage::CVsendSriealFun, this, &Quellon::recvModeDtatFun);
        connect(page, &CCCVPage::getLimitParam, this, &Quellon::recvLimitParamAck);
        connect(page, &CCCVPage::sendAcDcMode, this, &Quellon::recvAcDcMode);
        wirePageCommon(page);
        return page;
    });
}

void Quellon::on_pushButtonEnterLIST_clicked()
{
    enterPage(ListPageKind, [this]() -> QWidget * {
        auto *page = new ListPage;
        listPage = page;
        connect(this, &Quellon::setDevStatus, page, &ListPage::LISTreceDevFun);
        connect(page, &ListPage::LISTgetDevStatus, this, &Quellon::recvRequest);
        connect(this, &Quellon::sendModeDataFun, page, &ListPage::LISTrecvSerialFun);
        connect(page, &ListPage::LISTsendSriealFun, this, &Quellon::recvModeDtatFun);
        connect(page, &ListPage::getLimitValue, this, &Quellon::recvLimitValueAck);
        wirePageCommon(page);
        return page;
    });
}

void Quellon::on_pushButtonEnterBAT_clicked()
{
    enterPage(BatteryPageKind, [this]() -> QWidget * {
        auto *page = new BATPage;
        batPage = page;
        connect(this, &Quellon::setDevStatus, page, &BATPage::BATreceDevFun);
        connect(page, &BATPage::BATgetDevStatus, this, &Quellon::recvRequest);
        connect(this, &Quellon::sendModeDataFun, page, &BATPage::BATrecvSerialFun);
        connect(page, &BATPage::BATsendSriealFun, this, &Quellon::recvModeDtatFun);
        connect(page, &BATPage::getLimitParam, this, &Quellon::recvLimitParamAck);
        wirePageCommon(page);
        return page;
    });
}

void Quellon::ExitMain()
{
    requestedPageIndex = 0;
    ui->stackedWidgetPower->setCurrentIndex(0);
}

void Quellon::recvRequest()
{
    emit setDevStatus(connectStatus, devStatusFlag, kCmdStart);
}

void Quellon::recvBootUpStatus(int i)
{
    bootUpStatus = i;
    qDebug() << "bootUpStatus" << i << bootUpStatus;
}
