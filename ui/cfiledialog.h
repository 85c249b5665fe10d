#ifndef VEXLOR_CFILEDIALOG_H
#define VEXLOR_CFILEDIALOG_H

#include <QFileDialog>
#include <QStringList>

// A file dialog in which several folders, or files and folders together, can be chosen. The
// chosen entries are returned as they are: choosing a folder does not open it.
// Where the toolkit's dialog is not built the way this class expects, it falls back to the
// standard pickers (FallbackMode() says why: 1 no list view, 2 no tree view, 3 no button box).
class CFileDialog : public QFileDialog
{
    Q_OBJECT
public:
    CFileDialog(QWidget *parent, bool filesToo);

    int exec() override;
    QStringList selectedFiles() const;
    int FallbackMode() const { return m_fallbackMode; }

private slots:
    void onChiose();

private:
    int m_fallbackMode = 0;
    QWidget *m_parent;
    bool m_filesToo;
    QStringList m_selection;
};

#endif // VEXLOR_CFILEDIALOG_H
