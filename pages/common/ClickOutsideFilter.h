#pragma once

#include <QList>
#include <QObject>
#include <QPointer>

class QDoubleSpinBox;
class QSpinBox;
class QWidget;

// Installed on a page widget: a mouse press that reaches the page itself (a
// click on its background) clears the focus of every watched spin box that
// does not contain the press, which ends its editing.
class ClickOutsideFilter : public QObject
{
    Q_OBJECT
public:
    explicit ClickOutsideFilter(QObject *parent = nullptr);

    // Adds a box unless it is already watched.
    void addDoubleSpinBox(QDoubleSpinBox *box);
    void addSpinBox(QSpinBox *box);

    QList<QDoubleSpinBox *> doubleSpinBoxes() const;
    QList<QSpinBox *> spinBoxes() const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Guarded: a watched box may go before the filter does.
    QList<QPointer<QDoubleSpinBox>> m_doubleBoxes;
    QList<QPointer<QSpinBox>> m_intBoxes;
};
