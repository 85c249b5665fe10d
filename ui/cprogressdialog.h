#ifndef VEXLOR_CPROGRESSDIALOG_H
#define VEXLOR_CPROGRESSDIALOG_H

#include "ui/commdialog.h"

class QProgressBar;

// The progress window of a page: a text, a bar with its percentage and a Stop button. It blocks
// the other windows while shown, but is shown without an event loop of its own, so the page goes
// on working and updates it.
class CProgressDialog : public CommDialog
{
    Q_OBJECT
public:
    explicit CProgressDialog(QWidget *parent = nullptr);

    void SetText(QString text);
    void SetRange(int minimum, int maximum);
    void SetValue(int value);
    // A busy indicator (range 0 to 0).
    void SetUnfinished();
    // The bar at percent of 0 to 100, or the busy indicator for a percent below 0.
    void SetPercent(int percent);
    // For steps that cannot be interrupted; Stop stays disabled from then on.
    void DisableCancel();
    bool IsComplete();
    QProgressBar *ProgressBar();
    QString Text() const;

    // The bar's text for value within minimum..maximum: "45%", or "45.50%" when not whole.
    static QString PercentText(int minimum, int maximum, int value);

public slots:
    void OnBtnCancel() override;

signals:
    void SigCancel();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    QProgressBar *m_bar;
};

#endif // VEXLOR_CPROGRESSDIALOG_H
