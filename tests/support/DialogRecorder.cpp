#include "DialogRecorder.h"

DialogRecorder::DialogRecorder()
{
    m_previous = Dialogs::setHandler(this);
}

DialogRecorder::~DialogRecorder()
{
    Dialogs::setHandler(m_previous);
}

int DialogRecorder::message(const Dialogs::Message &m)
{
    messages << m;
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
}
