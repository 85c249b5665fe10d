#include "pages/common/cimageloader.h"

#include "logic/extractlogic.h"
#include "model/ctree.h"
#include "pages/common/cimagebrowser.h"
#include "services/logging.h"
#include "services/sevenzip.h"
#include "services/util.h"

#include <QFileInfo>

CImageLoader::CImageLoader(CTree *tree, CImageBrowser *browser, bool *inTable, QObject *parent)
    : QObject(parent)
    , m_Tree(tree)
    , m_Browser(browser)
    , m_Listing(tree, inTable)
{
    m_Listing.SetErrorReader(SevenZip::ErrorReader());
}

CImageLoader::~CImageLoader()
{
    // The runner is waited for (bounded) when m_Runners goes.
    m_Runners.Retire(m_Runner);
    m_Runner = nullptr;
    if (m_Loading)
        Util::RestoreCursor();
}

void CImageLoader::Load(const QString &image)
{
    m_Image = image;
    // The views point into the tree that is about to be cleared: empty them first.
    m_Browser->Clear();
    // A previous listing whose tool has not ended yet: its output is no longer wanted.
    m_Runners.Retire(m_Runner);
    m_Runner
        = m_Runners.Create(SevenZip::Program(), SevenZip::ListArgs(image), SevenZip::ErrorReader());
    connect(m_Runner, &CRunCommandThread::standoutputline, this, &CImageLoader::OnRunnerLine);
    connect(m_Runner, &CRunCommandThread::sigfinished, this, &CImageLoader::OnRunnerFinished);
    if (!m_Loading)
        Util::SetCursorBusy();
    m_Loading = true;
    emit loadingChanged(true);
    m_Listing.Reset();
    m_Tree->Clear();
    m_Tree->m_Name = QFileInfo(image).fileName();
    m_Runner->start();
}

void CImageLoader::OnRunnerLine(QString line)
{
    if (sender() == m_Runner)
        emit lineOutput(line);
}

bool CImageLoader::ReadLine(const QString &line)
{
    return m_Listing.ReadLine(line);
}

void CImageLoader::Show()
{
    EndLoading();
    m_Browser->Show(*m_Tree);
}

void CImageLoader::EndLoading()
{
    if (m_Loading) {
        Util::RestoreCursor();
        m_Loading = false;
    }
    emit loadingChanged(false);
}

void CImageLoader::OnRunnerFinished()
{
    CRunCommandThread *runner = m_Runner;
    if (!runner || sender() != runner)
        return;
    m_Runner = nullptr;
    const CRunOutcome end = runner->Outcome();
    m_Runners.Retire(runner);
    const QStringList errors = m_Listing.Errors();
    const QString message = ExtractLogic::ListingMessage(end, errors, m_Listing.Closed());
    if (!m_Listing.Closed()) {
        // The table never closed: not an image, a damaged image, or no tool.
        m_Listing.Reset();
        m_Browser->Clear();
        m_Tree->Clear();
        EndLoading();
        emit failed();
    }
    if (message.isEmpty())
        return;
    qCWarning(lcExtract) << "CImageLoader" << m_Image << message;
    Util::WriteLog(QStringLiteral("CImageLoader ") + m_Image + QLatin1Char(' ')
                   + errors.join(QStringLiteral("; ")));
    Util::ShowError(message);
}
