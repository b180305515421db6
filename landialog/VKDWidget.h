#pragma once

#include "VkdevRecords.h"

#include <QDialog>
#include <QModelIndex>
#include <QPoint>
#include <QVector>

namespace Ui {
class VKDWidget;
}
class QStandardItemModel;
class QTimer;
class newCombboxDelegate;
class IpEditDelegate;
class protEditDelegate;
class newPushButtonDelegate;

// "LAN TOOL": finds the device servers on the local network through the
// device library (loaded at run time), lets the operator edit and write back
// their settings, and hands the chosen device to the main window.
class VKDWidget : public QDialog
{
    Q_OBJECT
public:
    // Entries of the device table; row i of the table shows entry i.
    static constexpr int kMaxDevices = 100;
    // The library's UDP port.
    static constexpr int kLibraryPort = 4196;

    explicit VKDWidget(QWidget *parent = nullptr);
    ~VKDWidget() override;

    // Read-only views for the window's tests.
    const QVector<VkdevList> &devices() const { return devList; }
    int currentDevice() const { return currentEditDevID; }
    bool libraryReady() const { return initStatus; }
    // The result of the last search made by a dialog.
    static int deviceCount() { return devCount; }

signals:
    // The operator chose a device that the search found.
    void VKoperate(VkdevData parameter);

public slots:
    // The window is about to show the dialog: bind, search, list addresses.
    void VKhandleResult(VkdevData str);
    void RecvChangeLanguage();
    void timerTimeOut();

    // Cell editors and the table's context menu.
    void DevIdUpdate(int id);
    void DevSetUpdate(int index);
    void DevIpModeUpdate(int index, QString mode);
    void setDevSelected();
    void setDevIpDHCP();
    void setDevIpStatic();
    void copySelectedIPs();

private slots:
    void on_pushButtonOnline_clicked();
    void on_tableViewList_clicked(QModelIndex index);
    void on_pushButtonSetAll_clicked();
    void on_pushButton_clicked();
    void on_comboTCPmode_currentIndexChanged(int index);
    void on_pushButtonLocade_clicked();
    void on_listWidgetIP_customContextMenuRequested(QPoint pos);
    void on_tableViewList_customContextMenuRequested(QPoint pos);
    void on_pushButtonLoadOut_clicked();

private:
    // Library binding, search and table (VKDWidget.cpp).
    void buildTableModel();
    void fillPlaceholders();
    void bindLibrary();
    void refreshDeviceList();
    void fillDeviceTable(int n);
    void emitCurrentDevice();
    // Whether the entry of this row is one the last search listed, with an
    // address the window can take.
    bool isFoundDevice(int row) const;
    // Reads the five shown parameters of an entry by its device ID.
    static void readDeviceParams(VkdevList &e);
    void setHeaders();
    // Number of entries a search filled: the count, at most kMaxDevices.
    static int listedCount();

    // Panel and write-back (VKDWidgetEditing.cpp).
    void showCurrentDevice();
    void clearCurrentDevice();
    void readRowFromTable(int row);
    // Why the current row cannot be written as it stands; empty when it can.
    QString rowProblem(const VkdevList &e) const;
    bool applyDevice();
    void refreshCurrentDevice();
    void setSelectedIpMode(bool dhcp);
    void setAddressCellLocked(int row, bool locked);
    // The box that ends a write-back of several rows, after `written` of the
    // `asked` rows went out.
    void showBatchOutcome(int written, int asked, const QString &success);
    // A modal message without parent, with an OK button.
    void showModalMessage(const QString &text);

    Ui::VKDWidget *ui = nullptr;
    bool initStatus = true;
    QVector<VkdevList> devList;
    int currentEditDevID = 0;
    // The row the operator chose since the last search (-1: none). Only a
    // chosen device goes to the window: finding devices, or finding none,
    // leaves the address the operator typed there.
    int chosenRow = -1;
    VkdevData selectedDev;
    QStandardItemModel *devModel = nullptr;
    newCombboxDelegate *comboDelegate = nullptr;
    IpEditDelegate *ipDelegate = nullptr;
    protEditDelegate *portDelegate = nullptr;
    newPushButtonDelegate *buttonDelegate = nullptr;
    int staticIpFlag = 0;
    bool batchUpdate = false;
    // The last write-back was refused for the row itself or by the library
    // (not for a library that is not ready or a search that found nothing).
    bool rowRefused = false;
    QTimer *m_timer = nullptr;

    // Result of the last search, shared by every dialog.
    static int devCount;
};
