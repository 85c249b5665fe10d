#include "ui/cfiledialog.h"

#include <QAbstractItemView>
#include <QDialogButtonBox>
#include <QDir>
#include <QListView>
#include <QTreeView>

CFileDialog::CFileDialog(QWidget *parent, bool filesToo)
    : QFileDialog(parent, QString(), QString(), QString())
    , m_parent(parent)
    , m_filesToo(filesToo)
{
    setOption(QFileDialog::DontUseNativeDialog, true);
    QDir::Filters filters = QDir::Dirs | QDir::NoDotAndDotDot;
    if (filesToo)
        filters |= QDir::Files;
    setFilter(filters);

    auto *listView = findChild<QListView *>(QStringLiteral("listView"));
    if (!listView) {
        m_fallbackMode = 1;
        return;
    }
    auto *treeView = findChild<QTreeView *>();
    if (!treeView) {
        m_fallbackMode = 2;
        return;
    }
    listView->setSelectionMode(QAbstractItemView::ExtendedSelection);
    treeView->setSelectionMode(QAbstractItemView::ExtendedSelection);

    auto *buttonBox = findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"));
    if (!buttonBox) {
        m_fallbackMode = 3;
        return;
    }
    // The dialog's own accept would open a chosen folder instead of returning it.
    disconnect(buttonBox, &QDialogButtonBox::accepted, this, nullptr);
    connect(buttonBox, &QDialogButtonBox::accepted, this, &CFileDialog::onChiose);
}

void CFileDialog::onChiose()
{
    QDialog::accept();
}

int CFileDialog::exec()
{
    if (m_fallbackMode == 0)
        return QFileDialog::exec();

    const QString caption = QStringLiteral("Select Files");
    if (m_filesToo) {
        m_selection = QFileDialog::getOpenFileNames(m_parent, caption, QDir::homePath(), QString(),
                                                    nullptr, QFileDialog::DontUseNativeDialog);
    } else {
        const QString folder = QFileDialog::getExistingDirectory(
            m_parent, caption, QDir::homePath(),
            QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog);
        m_selection.clear();
        if (!folder.isEmpty())
            m_selection << folder;
    }
    return QDialog::Accepted;
}

QStringList CFileDialog::selectedFiles() const
{
    if (m_fallbackMode == 0)
        return QFileDialog::selectedFiles();
    return m_selection;
}
