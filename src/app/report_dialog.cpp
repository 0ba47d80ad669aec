#include "app/report_dialog.h"

#include "widgets/file_folders.h"
#include "widgets/message_box_dialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

CReportDialog::CReportDialog(QWidget* pParent, nemora::report::Report report)
    : QDialog(pParent), m_report(std::move(report)), m_pText(new QPlainTextEdit(this)),
      m_pSerials(new QCheckBox(tr("Include serial numbers"), this))
{
    setWindowTitle(tr("Diagnostic Report"));
    m_pText->setReadOnly(true);
    m_pText->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_pText->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    auto* copy = new QPushButton(tr("Copy"), this);
    auto* save = new QPushButton(tr("Save As..."), this);
    auto* close = new QPushButton(tr("Close"), this);
    close->setDefault(true);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_pSerials);
    buttons->addStretch();
    buttons->addWidget(copy);
    buttons->addWidget(save);
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_pText);
    layout->addLayout(buttons);
    connect(m_pSerials, &QCheckBox::toggled, this, &CReportDialog::Show);
    connect(copy, &QPushButton::clicked, this, [this] { QApplication::clipboard()->setText(Text()); });
    connect(save, &QPushButton::clicked, this, [this] {
        const QString path =
            nemora::widgets::AskSaveFile(this, tr("Save the report"), nemora::widgets::FileDialogKind::Log,
                                         "nemora-report.txt", tr("Text files (*.txt);;All Files (*)"));
        if (!path.isEmpty())
            SaveTo(path);
    });
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    resize(900, 640);
    Show();
}

void CReportDialog::Show()
{
    m_pText->setPlainText(QString::fromStdString(nemora::report::ReportText(m_report, m_pSerials->isChecked())));
}

QString CReportDialog::Text() const
{
    return m_pText->toPlainText();
}

bool CReportDialog::SaveTo(const QString& strPath)
{
    if (const QString error = nemora::widgets::WriteTextFile(strPath, Text()); !error.isEmpty()) {
        CMessageBoxDialog box(this,
                              tr("Unable to save the report to %1: %2\nNothing was written. Choose a folder you can "
                                 "write to and save again.")
                                  .arg(strPath, error),
                              "", nemora::widgets::kBoxError);
        box.DoModal();
        return false;
    }
    return true;
}
