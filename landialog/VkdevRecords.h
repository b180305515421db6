#pragma once

#include <QMetaType>
#include <QString>

// A device chosen in the LAN dialog, handed to the main window.
struct VkdevData
{
    QString ip;       // IPv4 address, dotted
    QString name;     // "0" when sent by the dialog
    QString devId;    // "0" when sent by the dialog
    int port = 0;     // TCP port
};

// One entry of the dialog's device table.
struct VkdevList
{
    QString ip;       // parameter 2
    QString name;     // parameter 276
    QString devId;    // 12 hex digits from VKDM_GetDevID
    int port = 0;     // parameter 3
    int workMode = 0; // parameter 256, 0..3
    int ipMode = 0;   // parameter 257: 0 static, 1 DHCP; -1 after an unknown mode text
    QString mask;     // placeholder entries only
    QString gateway;  // placeholder entries only
};

Q_DECLARE_METATYPE(VkdevData)
Q_DECLARE_METATYPE(VkdevList)

// Registers both records under their own names.
void registerVkdevTypes();
