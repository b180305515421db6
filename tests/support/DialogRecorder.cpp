#include "DialogRecorder.h"

#include <QVariant>

namespace {
const char *const kClosed = "dialogRecorderClosed";
}

DialogRecorder::DialogRecorder()
{
    m_previous = Dialogs::setHandler(this);
}

DialogRecorder::~DialogRecorder()
{
    Dialogs::setHandler(m_previous);
    for (const QPointer<QMessageBox> &b : qAsConst(boxes))
        delete b.data();
}

int DialogRecorder::message(const Dialogs::Message &m)
{
    messages << m;
    if (m_whileOpen) {
        const Reading reading = m_whileOpen; // it may set another
        reading(m);
    }
    if (!m_messageAnswers.isEmpty())
        return m_messageAnswers.dequeue();
    if (!m.customButtons.isEmpty())
        return 0;
    if (m.defaultButton != QMessageBox::NoButton)
        return m.defaultButton;
    for (unsigned int b = QMessageBox::FirstButton; b <= QMessageBox::LastButton; b <<= 1) {
        if (m.buttons & b)
            return static_cast<int>(b);
    }
    return QMessageBox::Ok;
}

QString DialogRecorder::file(const Dialogs::FileRequest &r)
{
    files << r;
    if (!m_fileAnswers.isEmpty())
        return m_fileAnswers.dequeue();
    return QString();
}

QStringList DialogRecorder::fileNames(const Dialogs::FileRequest &r)
{
    files << r;
    if (!m_filesAnswers.isEmpty())
        return m_filesAnswers.dequeue();
    return QStringList();
}

QMessageBox *DialogRecorder::open(const Dialogs::Message &m)
{
    messages << m;
    auto *box = new QMessageBox(QMessageBox::NoIcon, m.title, m.text, m.buttons, m.parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setModal(true);
    QObject::connect(box, &QDialog::finished, box, [box]() { box->setProperty(kClosed, true); });
    boxes << box;
    if (m_showBoxes)
        box->show();
    return box;
}

bool DialogRecorder::boxOpen(int i) const
{
    const QMessageBox *b = boxes.value(i);
    return b && !b->property(kClosed).toBool();
}

QStringList DialogRecorder::texts() const
{
    QStringList t;
    for (const auto &m : messages)
        t << m.text;
    return t;
}

QString DialogRecorder::lastText() const
{
    return messages.isEmpty() ? QString() : messages.last().text;
}

void DialogRecorder::clear()
{
    messages.clear();
    files.clear();
    m_messageAnswers.clear();
    m_fileAnswers.clear();
    m_filesAnswers.clear();
}
