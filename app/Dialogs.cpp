#include "Dialogs.h"

#include <QFileDialog>
#include <QPushButton>

namespace {
Dialogs::Handler *g_handler = nullptr;

QMessageBox::Icon toIcon(Dialogs::Icon icon)
{
    switch (icon) {
    case Dialogs::Icon::Information: return QMessageBox::Information;
    case Dialogs::Icon::Warning: return QMessageBox::Warning;
    case Dialogs::Icon::Critical: return QMessageBox::Critical;
    case Dialogs::Icon::Question: return QMessageBox::Question;
    case Dialogs::Icon::None: break;
    }
    return QMessageBox::NoIcon;
}

QMessageBox::StandardButton boxed(Dialogs::Icon icon, QWidget *parent, const QString &title,
                                  const QString &text, QMessageBox::StandardButtons buttons,
                                  QMessageBox::StandardButton defaultButton)
{
    Dialogs::Message m;
    m.icon = icon;
    m.parent = parent;
    m.title = title;
    m.text = text;
    m.buttons = buttons;
    m.defaultButton = defaultButton;
    return static_cast<QMessageBox::StandardButton>(Dialogs::show(m));
}

QString filed(Dialogs::FileKind kind, QWidget *parent, const QString &caption, const QString &dir,
              const QString &filter)
{
    Dialogs::FileRequest r;
    r.kind = kind;
    r.parent = parent;
    r.caption = caption;
    r.dir = dir;
    r.filter = filter;
    return Dialogs::file(r);
}
} // namespace

Dialogs::Handler *Dialogs::setHandler(Handler *handler)
{
    Handler *old = g_handler;
    g_handler = handler;
    return old;
}

Dialogs::Handler *Dialogs::handler()
{
    return g_handler;
}

int Dialogs::show(const Message &m)
{
    if (g_handler)
        return g_handler->message(m);

    QMessageBox box(toIcon(m.icon), m.title, m.text, QMessageBox::NoButton, m.parent);
    if (m.customButtons.isEmpty()) {
        box.setStandardButtons(m.buttons);
        if (m.defaultButton != QMessageBox::NoButton)
            box.setDefaultButton(m.defaultButton);
        return box.exec();
    }
    QList<QAbstractButton *> added;
    for (int i = 0; i < m.customButtons.size(); ++i)
        added << box.addButton(m.customButtons.at(i),
                               i == 0 ? QMessageBox::AcceptRole : QMessageBox::RejectRole);
    box.exec();
    return added.indexOf(box.clickedButton());
}

int Dialogs::Handler::dialog(QDialog *d)
{
    d->show();
    return QDialog::Rejected;
}

int Dialogs::exec(QDialog *dialog)
{
    if (g_handler)
        return g_handler->dialog(dialog);
    return dialog->exec();
}

QString Dialogs::file(const FileRequest &r)
{
    if (g_handler)
        return g_handler->file(r);
    switch (r.kind) {
    case FileKind::Open: return QFileDialog::getOpenFileName(r.parent, r.caption, r.dir, r.filter);
    case FileKind::Save: return QFileDialog::getSaveFileName(r.parent, r.caption, r.dir, r.filter);
    case FileKind::Directory: return QFileDialog::getExistingDirectory(r.parent, r.caption, r.dir);
    case FileKind::OpenMany: return fileNames(r).value(0);
    }
    return QString();
}

QStringList Dialogs::fileNames(const FileRequest &r)
{
    if (g_handler)
        return g_handler->fileNames(r);
    return QFileDialog::getOpenFileNames(r.parent, r.caption, r.dir, r.filter);
}

namespace {
QMessageBox *openBox(const Dialogs::Message &m)
{
    auto *box = new QMessageBox(toIcon(m.icon), m.title, m.text, m.buttons, m.parent);
    if (m.defaultButton != QMessageBox::NoButton)
        box->setDefaultButton(m.defaultButton);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setModal(true);
    box->show();
    return box;
}
} // namespace

QStringList Dialogs::Handler::fileNames(const FileRequest &)
{
    return QStringList();
}

QMessageBox *Dialogs::Handler::open(const Message &m)
{
    return openBox(m);
}

QPointer<QMessageBox> Dialogs::open(const Message &m)
{
    return g_handler ? g_handler->open(m) : openBox(m);
}

QMessageBox::StandardButton Dialogs::information(QWidget *parent, const QString &title, const QString &text,
                                                 QMessageBox::StandardButtons buttons,
                                                 QMessageBox::StandardButton defaultButton)
{
    return boxed(Icon::Information, parent, title, text, buttons, defaultButton);
}

QMessageBox::StandardButton Dialogs::warning(QWidget *parent, const QString &title, const QString &text,
                                             QMessageBox::StandardButtons buttons,
                                             QMessageBox::StandardButton defaultButton)
{
    return boxed(Icon::Warning, parent, title, text, buttons, defaultButton);
}

QMessageBox::StandardButton Dialogs::critical(QWidget *parent, const QString &title, const QString &text,
                                              QMessageBox::StandardButtons buttons,
                                              QMessageBox::StandardButton defaultButton)
{
    return boxed(Icon::Critical, parent, title, text, buttons, defaultButton);
}

QMessageBox::StandardButton Dialogs::question(QWidget *parent, const QString &title, const QString &text,
                                              QMessageBox::StandardButtons buttons,
                                              QMessageBox::StandardButton defaultButton)
{
    return boxed(Icon::Question, parent, title, text, buttons, defaultButton);
}

QString Dialogs::getOpenFileName(QWidget *parent, const QString &caption, const QString &dir,
                                 const QString &filter)
{
    return filed(FileKind::Open, parent, caption, dir, filter);
}

QString Dialogs::getSaveFileName(QWidget *parent, const QString &caption, const QString &dir,
                                 const QString &filter)
{
    return filed(FileKind::Save, parent, caption, dir, filter);
}

QStringList Dialogs::getOpenFileNames(QWidget *parent, const QString &caption, const QString &dir,
                                      const QString &filter)
{
    Dialogs::FileRequest r;
    r.kind = FileKind::OpenMany;
    r.parent = parent;
    r.caption = caption;
    r.dir = dir;
    r.filter = filter;
    return fileNames(r);
}

QString Dialogs::getExistingDirectory(QWidget *parent, const QString &caption, const QString &dir)
{
    return filed(FileKind::Directory, parent, caption, dir, QString());
}
