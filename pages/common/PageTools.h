#pragma once

#include "DataPack.h"

#include <QString>

class QTableWidget;
#include <QtGlobal>

class ClickOutsideFilter;
class MyEventFilter;
class QWidget;

// Run-time text "hh:mm:ss" (hours not wrapped at 24, each part at least two digits).
QString formatHMS(qint64 seconds);

// Puts every spin box below the page under the editing filter, stores its
// current value as "originalValue" and adds it (once) to the click filter:
// first the double spin boxes, then the integer ones.
void storeOriginalValues(QWidget *page, MyEventFilter *editFilter, ClickOutsideFilter *clickFilter);

// The pack a page command sender emits: the six values in the fields of the
// same names; the link selector is left for the main window to stamp.
DataPack pageCommandPack(const QString &key, int isRequest, int needReply, int status,
                         const QString &data, int pageId);

// Text of a float setting value: general format, at most 6 significant
// digits, no trailing zeros (2.5 -> "2.5", 10 -> "10").
QString settingValueText(double value);

// Removes every selected row of a table (top to bottom, whatever the order
// of selection).
void removeSelectedRows(QTableWidget *table);
