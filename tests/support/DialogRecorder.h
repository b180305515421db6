#pragma once

#include "Dialogs.h"

#include <QList>
#include <QQueue>
#include <QString>

// Stands in for every message box and file dialog while it lives: records each
// request and answers from queued answers. Without a queued answer a message
// box returns its default button (or the first of its buttons, or index 0 of
// its custom buttons) and a file dialog returns "" (cancelled).
class DialogRecorder : public Dialogs::Handler
{
public:
    DialogRecorder();
    ~DialogRecorder() override;

    int message(const Dialogs::Message &m) override;
    QString file(const Dialogs::FileRequest &r) override;

    // Answers, used in order.
    void answerMessage(int button) { m_messageAnswers.enqueue(button); }
    void answerFile(const QString &path) { m_fileAnswers.enqueue(path); }

    QList<Dialogs::Message> messages;
    QList<Dialogs::FileRequest> files;

    QStringList texts() const;   // the texts of all messages, in order
    QString lastText() const;
    bool sawText(const QString &text) const { return texts().contains(text); }
    void clear();

private:
    Dialogs::Handler *m_previous = nullptr;
    QQueue<int> m_messageAnswers;
    QQueue<QString> m_fileAnswers;
};
