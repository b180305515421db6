#pragma once

// Reaching into the LAN dialog from a test: its form widgets, its table and
// the popup menus it runs.

#include "VKDWidget.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QMenu>
#include <QStandardItemModel>
#include <QTableView>
#include <QTest>
#include <QTimer>

template <class T>
T *part(QWidget *dialog, const char *name)
{
    T *w = dialog->findChild<T *>(QString::fromLatin1(name));
    if (!w)
        qFatal("no widget %s", name);
    return w;
}

inline QTableView *deviceTable(QWidget *dialog)
{
    return part<QTableView>(dialog, "tableViewList");
}

inline QStandardItemModel *deviceModel(QWidget *dialog)
{
    return qobject_cast<QStandardItemModel *>(deviceTable(dialog)->model());
}

inline QString cellText(QWidget *dialog, int row, int column)
{
    return deviceModel(dialog)->index(row, column).data().toString();
}

// Adds a table row as a search fills it (name, mode text, address, port).
inline void addRow(QWidget *dialog, const QString &name, const QString &mode, const QString &ip, int port)
{
    QList<QStandardItem *> row;
    for (const QString &t : {name, mode, ip, QString::number(port), QStringLiteral("设置更新")})
        row << new QStandardItem(t);
    deviceModel(dialog)->appendRow(row);
}

// Selects whole rows of the table, as a control-click on each does.
inline void selectRows(QWidget *dialog, const QList<int> &rows)
{
    QTableView *view = deviceTable(dialog);
    view->clearSelection();
    for (int r : rows)
        view->selectionModel()->select(view->model()->index(r, 0),
                                       QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

// Answers the next popup menu that opens: triggers the action with this text,
// or closes the menu when the text is empty. Records the action texts seen.
class MenuAnswer : public QObject
{
public:
    explicit MenuAnswer(const QString &choice) : m_choice(choice)
    {
        m_timer.setInterval(10);
        connect(&m_timer, &QTimer::timeout, this, [this] { poll(); });
        m_timer.start();
    }
    QStringList seen;
    bool answered = false;

private:
    void poll()
    {
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        if (!menu)
            return;
        m_timer.stop();
        answered = true;
        QAction *pick = nullptr;
        for (QAction *a : menu->actions()) {
            seen << a->text();
            if (!m_choice.isEmpty() && a->text() == m_choice)
                pick = a;
        }
        if (pick) {
            menu->setActiveAction(pick);
            QTest::keyClick(menu, Qt::Key_Return);
        } else {
            menu->close();
        }
    }
    QString m_choice;
    QTimer m_timer;
};
