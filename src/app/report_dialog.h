#pragma once

#include "report/diagnostic_report.h"

#include <QDialog>

class QCheckBox;
class QPlainTextEdit;

// Help -> "Diagnostic Report...": the report as text, to copy or save and send with a question. Serial
// numbers are shortened unless "Include serial numbers" is ticked.
class CReportDialog : public QDialog {
    Q_OBJECT
public:
    CReportDialog(QWidget* pParent, nemora::report::Report report);

    QString Text() const;
    QCheckBox* SerialsBox() const { return m_pSerials; }
    // Saves the text into the file, whole or not at all; a failure is said in a box. False then.
    bool SaveTo(const QString& strPath);

private:
    void Show();

    nemora::report::Report m_report;
    QPlainTextEdit* m_pText;
    QCheckBox* m_pSerials;
};
