#pragma once

#include <QMessageBox>
#include <QPointer>
#include <QString>
#include <QStringList>

class QDialog;
class QWidget;

// Every modal message box and every file or folder dialog of the program goes
// through here. Tests install a Handler that records the request and answers
// it, so no test ever waits on a real dialog.
class Dialogs
{
public:
    enum class Icon { None, Information, Warning, Critical, Question };
    enum class FileKind { Open, Save, Directory, OpenMany };

    struct Message
    {
        Icon icon = Icon::None;
        QWidget *parent = nullptr;
        QString title;
        QString text;
        QMessageBox::StandardButtons buttons = QMessageBox::Ok;
        QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
        // Buttons with own texts (added with the accept/reject roles in order);
        // when present, the result is the index of the button pressed.
        QStringList customButtons;
    };

    struct FileRequest
    {
        FileKind kind = FileKind::Open;
        QWidget *parent = nullptr;
        QString caption;
        QString dir;
        QString filter;
    };

    class Handler
    {
    public:
        virtual ~Handler() = default;
        // Returns the button pressed (a QMessageBox::StandardButton value) or,
        // with custom buttons, the index of the one pressed.
        virtual int message(const Message &m) = 0;
        // Returns the chosen path, or an empty text when cancelled.
        virtual QString file(const FileRequest &r) = 0;
        // Returns the chosen paths in the order given, none when cancelled
        // (the default).
        virtual QStringList fileNames(const FileRequest &r);
        // Makes the box of Dialogs::open. By default a real box, shown
        // without blocking.
        virtual QMessageBox *open(const Message &m);
        // Runs one of the program's own modal dialogs. By default it is shown
        // without blocking and the answer is QDialog::Rejected.
        virtual int dialog(QDialog *d);
    };

    // Replaces the handler (nullptr restores the real dialogs). Returns the previous one.
    static Handler *setHandler(Handler *handler);
    static Handler *handler();

    static int show(const Message &m);
    // QDialog::exec(), or the handler's answer.
    static int exec(QDialog *dialog);
    static QString file(const FileRequest &r);
    static QStringList fileNames(const FileRequest &r);

    // Shows a message box without waiting for its answer and hands the box
    // back, so that the caller closes exactly this box (QDialog::done) when it
    // wants, whatever other box is open above it by then. The box is modal,
    // deletes itself once closed (the pointer turns null) and goes with its
    // parent.
    static QPointer<QMessageBox> open(const Message &m);

    // Shapes of the QMessageBox statics.
    static QMessageBox::StandardButton information(QWidget *parent, const QString &title, const QString &text,
                                                   QMessageBox::StandardButtons buttons = QMessageBox::Ok,
                                                   QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);
    static QMessageBox::StandardButton warning(QWidget *parent, const QString &title, const QString &text,
                                               QMessageBox::StandardButtons buttons = QMessageBox::Ok,
                                               QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);
    static QMessageBox::StandardButton critical(QWidget *parent, const QString &title, const QString &text,
                                                QMessageBox::StandardButtons buttons = QMessageBox::Ok,
                                                QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);
    static QMessageBox::StandardButton question(QWidget *parent, const QString &title, const QString &text,
                                                QMessageBox::StandardButtons buttons = QMessageBox::Yes | QMessageBox::No,
                                                QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);

    // Shapes of the QFileDialog statics.
    static QString getOpenFileName(QWidget *parent, const QString &caption = QString(),
                                   const QString &dir = QString(), const QString &filter = QString());
    static QString getSaveFileName(QWidget *parent, const QString &caption = QString(),
                                   const QString &dir = QString(), const QString &filter = QString());
    static QStringList getOpenFileNames(QWidget *parent, const QString &caption = QString(),
                                        const QString &dir = QString(), const QString &filter = QString());
    static QString getExistingDirectory(QWidget *parent, const QString &caption = QString(),
                                        const QString &dir = QString());
};
