#pragma once

#include "Dialogs.h"

#include <QList>
#include <QPointer>
#include <QQueue>
#include <QString>
#include <QStringList>

#include <functional>

// Stands in for every message box and file dialog while it lives: records each
// request and answers from queued answers. Without a queued answer a message
// box returns its default button (or the first of its buttons, or index 0 of
// its custom buttons) and a file dialog returns "" (cancelled), a files
// dialog no file.
//
// A box the program closes itself (Dialogs::open) is recorded with the other
// messages and made for real, hidden unless showBoxes() asks for it; the
// recorder deletes those still there when it goes.
class DialogRecorder : public Dialogs::Handler
{
public:
    DialogRecorder();
    ~DialogRecorder() override;

    int message(const Dialogs::Message &m) override;
    QString file(const Dialogs::FileRequest &r) override;
    QStringList fileNames(const Dialogs::FileRequest &r) override;
    QMessageBox *open(const Dialogs::Message &m) override;

    // Answers, used in order.
    void answerMessage(int button) { m_messageAnswers.enqueue(button); }
    void answerFile(const QString &path) { m_fileAnswers.enqueue(path); }
    void answerFiles(const QStringList &paths) { m_filesAnswers.enqueue(paths); }
    // Boxes of Dialogs::open from now on are shown, modal, without blocking.
    void showBoxes(bool on) { m_showBoxes = on; }
    // The operator takes time over a box that waits for its answer
    // (Dialogs::show): `reading` runs while such a box is up, with the events
    // going on as under a real box (a nested event loop of the test's), and
    // then the box is answered as usual. Empty: answered at once.
    using Reading = std::function<void(const Dialogs::Message &)>;
    void setWhileOpen(Reading reading) { m_whileOpen = std::move(reading); }

    QList<Dialogs::Message> messages;
    QList<Dialogs::FileRequest> files;
    // The boxes of Dialogs::open, in order; null once deleted.
    QList<QPointer<QMessageBox>> boxes;
    // Whether box i is still open: made and not closed by the program.
    bool boxOpen(int i) const;

    QStringList texts() const;   // the texts of all messages, in order
    QString lastText() const;
    bool sawText(const QString &text) const { return texts().contains(text); }
    void clear(); // records and queued answers; the boxes stay

private:
    Dialogs::Handler *m_previous = nullptr;
    QQueue<int> m_messageAnswers;
    QQueue<QString> m_fileAnswers;
    QQueue<QStringList> m_filesAnswers;
    bool m_showBoxes = false;
    Reading m_whileOpen;
};
