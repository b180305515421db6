#include "Quellon.h"
#include "ui_Quellon.h"

#include "AppDirectory.h"
#include "ConfigFile.h"
#include "CrashHandler.h"
#include "MetaTypes.h"
#include "QuellonConstants.h"
#include "QuellonResources.h"

#include <QApplication>
#include <QDebug>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QIntValidator>
#include <QTimer>
#include <QUrl>

namespace {
const int kPollPeriodMs = 1000;

const QString kVendorLink = QStringLiteral("<a href=\"https://example.com/\">https://example.com/</a>");
} // namespace

Quellon::Quellon(QWidget *parent)
    : QWidget(parent)
    , ui(new Ui::Quellon)
{
    initQuellonResources();
    ui->setupUi(this);
    installCrashHandler();
    qRegisterMetaType<LanguageSwitch>("LanguageSwitch");
    qRegisterMetaType<parallel>("parallel");
    qRegisterMetaType<elcLimitParam>("elcLimitParam");
    registerDataPackTypes();
    registerTcpLinkPackType();
    setFixedSize(1050, 700);

    limitParam = elcLimitParam();
    ui->label_tip->hide();

    requestPortList();
    initLanguage();
    resetParallel();

    // The timer is a child of the window so that it goes with it.
    m_pollTimer = new QTimer(this);
    connect(m_pollTimer, &QTimer::timeout, this, &Quellon::timerTimeOut);
    m_pollTimer->start(kPollPeriodMs);

    ui->label_web_x->setText(kVendorLink);
    ui->label_web_x->setOpenExternalLinks(false);

    ui->comboBoxInterface->setCurrentIndex(interfaceIndex);
    ui->stackedInterface->setCurrentIndex(interfaceIndex);
    ui->lineEditProt->setValidator(new QIntValidator(0, 65535, this));
}

Quellon::~Quellon()
{
    // The pages go with the form, after this window has stopped being one:
    // nothing they emit on the way (a spin box losing its focus) may reach
    // its slots.
    if (ui->stackedWidgetPower) {
        for (int i = 0; i < ui->stackedWidgetPower->count(); ++i)
            disconnect(ui->stackedWidgetPower->widget(i), nullptr, this, nullptr);
    }
    delete ui;
}

// ---------------------------------------------------------------------------
// Configuration, language, help

void Quellon::initLanguage()
{
    ConfigFile config(ConfigFile::defaultPath());
    const ConfigFile::Language language = config.readLanguage(languageSwitch);
    if (language == ConfigFile::English) {
        qDebug() << "EN";
        ui->comboBoxLanguage->setCurrentIndex(1);
    } else {
        qDebug() << "CHINA";
        ui->comboBoxLanguage->setCurrentIndex(0);
    }
    ui->comboBoxLanguage->setEnabled(languageSwitch.english && languageSwitch.chinese);
}

void Quellon::on_comboBoxLanguage_currentIndexChanged(int index)
{
    const bool english = index == 1;
    ConfigFile(ConfigFile::defaultPath()).writeLanguage(english ? ConfigFile::English : ConfigFile::Chinese);

    if (english) {
        if (m_translator.load(AppDirectory::filePath(QStringLiteral("translator/lang_en.qm")))) {
            qApp->installTranslator(&m_translator);
            ui->retranslateUi(this);
        } else {
            qDebug() << tr("读取qm文件失败");
        }
    } else {
        qApp->removeTranslator(&m_translator);
        ui->retranslateUi(this);
    }
    emit sendLanguageChange();
    restoreRuntimeTexts();
    qDebug() << "currentFace" << interfaceIndex;
}

void Quellon::restoreRuntimeTexts()
{
    ui->label_web_x->setText(kVendorLink);
    if (connectStatus) {
        ui->pushButtonSerialSW->setText(tr("断开"));
        ui->connectServer->setText(tr("断开"));
        ui->labelLinkStatus->setText(QStringLiteral("ON"));
        ui->labelMaster->setText(modelName);
    } else {
        ui->pushButtonSerialSW->setText(tr("连接"));
        ui->connectServer->setText(tr("连接"));
        ui->labelLinkStatus->setText(QStringLiteral("OFF"));
        ui->labelMaster->setText(kNoTarget);
    }
}

void Quellon::on_pushButtonHeep_clicked()
{
    const QString path = AppDirectory::filePath(tr("KTR软件使用帮助.pdf"));
    const QFileInfo info(path);
    if (!info.exists() || !info.isFile()) {
        showMessage(tr("PDF file not found:"));
        return;
    }
    // Without a program registered for PDF files (no desktop opener, a
    // machine without a desktop) the open fails; the operator is told rather
    // than left with a button that does nothing.
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(path)))
        showMessage(tr("无法打开帮助文档：%1").arg(QDir::toNativeSeparators(path)));
}

void Quellon::on_label_web_x_linkActivated(const QString &link)
{
    QDesktopServices::openUrl(QUrl(link));
}
