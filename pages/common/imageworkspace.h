#ifndef VEXLOR_IMAGEWORKSPACE_H
#define VEXLOR_IMAGEWORKSPACE_H

// What the pages that write an image (Create, Edit) hold alike: the content tree, the copier that
// stages it into the working folder, the progress dialog, and the image writer over both with the
// runner of its mkisofs. A page derives from it after its dialog base, so that the parts exist
// before the page's own members and outlive them.

#include "model/ctree.h"
#include "pages/common/cimagewriter.h"
#include "services/cfilecopy.h"
#include "ui/cprogressdialog.h"

class CRunCommandThread;

struct ImageWorkspace
{
    // The progress dialog is a child of the page's parent widget.
    explicit ImageWorkspace(QWidget *dialogParent)
        : m_ProgressDialog(dialogParent)
        , m_Writer(&m_FileCopy, &m_ProgressDialog)
    {
    }

    CTree m_Tree;
    CFileCopy m_FileCopy;
    CProgressDialog m_ProgressDialog;
    CRunCommandThread *m_CreateThread = nullptr; // the running mkisofs, null otherwise
    CImageWriter m_Writer;
};

#endif // VEXLOR_IMAGEWORKSPACE_H
