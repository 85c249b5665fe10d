#ifndef VEXLOR_CIMAGELOADER_H
#define VEXLOR_CIMAGELOADER_H

// Loading an image into a page that browses it (Extract, Edit): 7-Zip lists the image, the
// listing reader fills the page's tree line by line, and once the table has closed the image
// browser shows the tree. While the listing runs the busy cursor shows; when it ends badly the
// user is told why (not an image, a damaged image, no tool).

#include "model/listing.h"
#include "services/crunners.h"

#include <QObject>
#include <QString>

class CImageBrowser;
class CTree;

class CImageLoader : public QObject
{
    Q_OBJECT
public:
    // tree and browser are the page's; inTable is the in-table flag the listing reader uses (the
    // reader's own when null).
    CImageLoader(CTree *tree, CImageBrowser *browser, bool *inTable = nullptr,
                 QObject *parent = nullptr);
    ~CImageLoader() override;

    // Starts listing image: the views are emptied, a listing still running is dropped, and the
    // tree is cleared and named after the file. Each line of the listing comes as lineOutput().
    void Load(const QString &image);
    // Reads one line of the listing into the tree; when it closes the table, the loading ends
    // and true is returned (the page then calls Show()).
    bool ReadLine(const QString &line);
    // Ends the loading and shows the tree (its root as the current folder).
    void Show();

    QString Image() const { return m_Image; }
    bool IsLoading() const { return m_Loading; }
    // The runner of the listing in progress, or null.
    CRunCommandThread *Runner() const { return m_Runner; }

signals:
    // A line of the running listing (lines of a dropped listing never come).
    void lineOutput(QString line);
    // The loading started (true) or ended (false): the page disables its buttons meanwhile.
    void loadingChanged(bool loading);
    // The listing ended without a complete table (before the user is told why).
    void failed();

private slots:
    void OnRunnerLine(QString line);
    void OnRunnerFinished();

private:
    void EndLoading();

    CTree *m_Tree;
    CImageBrowser *m_Browser;
    CListingReader m_Listing;
    CRunners m_Runners;
    CRunCommandThread *m_Runner = nullptr;
    QString m_Image;
    bool m_Loading = false;
};

#endif // VEXLOR_CIMAGELOADER_H
