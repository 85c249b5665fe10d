#ifndef VEXLOR_CWRITERPAGE_H
#define VEXLOR_CWRITERPAGE_H

// The base of the pages that write an image (Create, Edit), with what they hold alike: the
// content tree, the copier that stages it into the working folder, the progress dialog, and the
// image writer over both with the runner of its mkisofs.

#include "model/ctree.h"
#include "pages/common/cimagewriter.h"
#include "services/cfilecopy.h"
#include "ui/cprogressdialog.h"
#include "ui/imagedialog.h"

class CRunCommandThread;

class CWriterPage : public ImageDialog
{
    Q_OBJECT

public:
    // The progress dialog is a child of the page's parent widget.
    explicit CWriterPage(QWidget *parent)
        : ImageDialog(parent != nullptr)
        , m_ProgressDialog(parent)
        , m_Writer(&m_FileCopy, &m_ProgressDialog)
    {
    }

    CTree m_Tree;
    CFileCopy m_FileCopy;
    CProgressDialog m_ProgressDialog;
    CRunCommandThread *m_CreateThread = nullptr; // the running mkisofs, null otherwise
    CImageWriter m_Writer;
};

#endif // VEXLOR_CWRITERPAGE_H
