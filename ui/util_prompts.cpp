// Prompts, file pickers, the busy cursor and the folder opener of Util.

#include "services/util.h"

#include "ui/cfiledialog.h"
#include "ui/commdialog.h"

#include <QApplication>
#include <QCursor>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QUrl>

void Util::SetCursorBusy()
{
    QApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
}

void Util::RestoreCursor()
{
    QApplication::restoreOverrideCursor();
}

QString Util::GetOpenFileDialog(QWidget *parent, const QString &filter)
{
    return QFileDialog::getOpenFileName(parent, QStringLiteral("Open File"), QDir::homePath(),
                                        QStringLiteral("All Files (*);;") + filter, nullptr,
                                        QFileDialog::ReadOnly);
}

QStringList Util::GetOpenFilesDialog(QWidget *parent)
{
    return QFileDialog::getOpenFileNames(parent, QStringLiteral("Open Files"), QDir::homePath(),
                                         QStringLiteral("Any Files(*.*)"), nullptr,
                                         QFileDialog::ReadOnly);
}

QString Util::GetDirDialog(QWidget *parent)
{
    return QFileDialog::getExistingDirectory(parent, QStringLiteral("Open Directory"),
                                             QStringLiteral("."), QFileDialog::ShowDirsOnly);
}

QString Util::GetSaveDialog(QWidget *parent, const QString &filter)
{
    return QFileDialog::getSaveFileName(parent, QStringLiteral("Save File"), QStringLiteral("."),
                                        filter);
}

static QStringList RunFileDialog(QWidget *parent, bool filesToo)
{
    CFileDialog dialog(parent, filesToo);
    if (dialog.exec() != QDialog::Accepted)
        return QStringList();
    return dialog.selectedFiles();
}

QStringList Util::GetDirsDialog(QWidget *parent)
{
    return RunFileDialog(parent, false);
}

QStringList Util::GetDirsAndFilesDialog(QWidget *parent)
{
    return RunFileDialog(parent, true);
}

void Util::ShowError(const QString &text)
{
    CommDialog dialog;
    // Messages name files and folders: shown as they are, never read as markup.
    dialog.SetPlainText(text);
    dialog.SetCancelHidden();
    dialog.exec();
}

bool Util::ShowConfirm(const QString &text)
{
    CommDialog dialog;
    dialog.SetPlainText(text);
    return dialog.exec() == QDialog::Accepted;
}

void Util::ShowOpen(const QString &text, const QString &folder)
{
    CommDialog dialog;
    dialog.SetPlainText(text);
    dialog.SetOpen(folder);
    dialog.exec();
}

int Util::ShowChoose(const QString &image, const QString &disk)
{
    CommDialog dialog;
    dialog.SetAllowWarp();
    dialog.SetBackGround(image);
    dialog.SetText(QString());
    if (!disk.isEmpty()) {
        auto *label = new QLabel(disk, &dialog);
        label->setObjectName(QStringLiteral("diskname"));
        label->setGeometry(20, 108, 380, 24);
        label->setStyleSheet(QStringLiteral("font:bold 12px;\ncolor:#404040;"));
        label->setTextFormat(Qt::PlainText);
        label->setAlignment(Qt::AlignCenter);
    }
    return dialog.exec() == QDialog::Accepted ? 1 : 0;
}

void Util::OpenExplorer(QWidget *parent, const QString &path)
{
    Q_UNUSED(parent);
    QString folder = path;
    folder.replace(QLatin1Char('\\'), QLatin1Char('/'));
    // Characters with a meaning in URLs ("#", "?", "%") are part of the folder's name here.
    const QString encoded = QString::fromUtf8(QUrl::toPercentEncoding(folder, "/"));
    QDesktopServices::openUrl(QUrl(QStringLiteral("file:///") + encoded, QUrl::StrictMode));
}
