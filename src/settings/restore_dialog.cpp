#include "settings/restore_dialog.h"

#include "screens/logo_codec.h"
#include "screens/picture_file.h"
#include "settings/snapshots.h"
#include "widgets/message_box_dialog.h"
#include "widgets/message_box_model.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace nemora::settings {
namespace {

constexpr int kPathRole = Qt::UserRole;

// What a snapshot was taken before, in the user's language. The notes keep the console's words in English
// (nemora-cli lists them too); the commands nemora-cli wrote there stay as they are.
QString ShownBefore(const QString& before)
{
    if (before.startsWith("firmware update "))
        return QCoreApplication::translate("RestoreSnapshotDialog", "firmware update %1").arg(before.mid(16));
    if (before.startsWith("restore of "))
        return QCoreApplication::translate("RestoreSnapshotDialog", "restore of %1").arg(before.mid(11));
    if (before.startsWith("Write To Device (") && before.endsWith(')')) {
        const QString tab = before.mid(17, before.size() - 18);
        return QCoreApplication::translate("RestoreSnapshotDialog", "Write To Device (%1)")
            .arg(QCoreApplication::translate("CPageCustom", tab.toUtf8().constData()));
    }
    return before;
}

// The first screen of a snapshot, or a null image when the file does not hold this model's logo area.
QImage FirstScreen(const std::filesystem::path& path, const CDeviceIdentity& identity)
{
    const SnapshotAreas areas = ReadSnapshot(path, identity);
    if (!areas.error.empty() || identity.m_nImageCount <= 0)
        return {};
    std::vector<MonoImage> images(static_cast<std::size_t>(identity.m_nImageCount),
                                  MonoImage(identity.m_nScreenWidth, identity.m_nScreenHeight));
    DecodeLogoArea(areas.logo, images, identity);
    return screens::PictureFromMono(images.front());
}

} // namespace

RestoreSnapshotDialog::RestoreSnapshotDialog(QWidget* pParent, const CDeviceIdentity& identity,
                                             const std::filesystem::path& folder)
    : QDialog(pParent), m_identity(identity), m_pList(new QTreeWidget(this)), m_pPreview(new QLabel(this)),
      m_pNote(new QLabel(this)), m_pRestore(new QPushButton(tr("Restore"), this))
{
    setWindowTitle(tr("Restore Settings"));
    m_identity.UpdateGeometry();
    const std::string model = SnapshotModelCode(m_identity);
    std::string modelName = model;
    m_identity.GetModelName(modelName);

    m_pList->setColumnCount(4);
    m_pList->setHeaderLabels({tr("Date"), tr("Model"), tr("Serial"), tr("Taken before")});
    m_pList->setRootIsDecorated(false);
    m_pList->setSelectionMode(QAbstractItemView::SingleSelection);
    m_pList->setIconSize(QSize(m_identity.m_nScreenWidth, m_identity.m_nScreenHeight));
    for (const SnapshotInfo& info : ListSnapshots(folder, model)) {
        auto* item = new QTreeWidgetItem(m_pList);
        item->setText(0, QString::fromStdString(info.DateText()) +
                             (info.sequence > 1 ? QString(" (%1)").arg(info.sequence) : QString()));
        item->setText(1, QString::fromStdString(modelName));
        item->setText(2, QString::fromStdString(info.rawSerial.empty() ? info.serial : info.rawSerial));
        item->setText(3, ShownBefore(QString::fromStdString(info.BeforeText())));
        item->setData(0, kPathRole, QString::fromStdString(info.path.string()));
        if (const QImage screen = FirstScreen(info.path, m_identity); !screen.isNull())
            item->setIcon(0, QPixmap::fromImage(screen));
    }
    m_pList->header()->setSectionResizeMode(QHeaderView::ResizeToContents);

    m_pPreview->setMinimumSize(2 * m_identity.m_nScreenWidth + 4, 2 * m_identity.m_nScreenHeight + 4);
    m_pPreview->setAlignment(Qt::AlignCenter);
    m_pPreview->setFrameShape(QFrame::Box);
    m_pNote->setWordWrap(true);
    m_pNote->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_pNote->setText(m_pList->topLevelItemCount() == 0
                         ? tr("No snapshot of a %1 device is kept yet: the console takes one before every write "
                              "to the device's flash.")
                               .arg(QString::fromStdString(modelName))
                         : tr("Snapshots are kept in %1 (the newest %2 of each device).")
                               .arg(QString::fromStdString(folder.string()))
                               .arg(kSnapshotsKept));

    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(m_pRestore, QDialogButtonBox::AcceptRole);
    buttons->addButton(QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_pRestore, &QPushButton::clicked, this, &RestoreSnapshotDialog::OnRestore);
    connect(m_pList, &QTreeWidget::itemSelectionChanged, this, &RestoreSnapshotDialog::ShowPreview);
    connect(m_pList, &QTreeWidget::itemDoubleClicked, this, &RestoreSnapshotDialog::OnRestore);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_pList, 1);
    layout->addWidget(m_pPreview, 0, Qt::AlignHCenter);
    layout->addWidget(m_pNote);
    layout->addWidget(buttons);
    resize(std::max(720, m_identity.m_nScreenWidth + 520), 420 + 2 * m_identity.m_nScreenHeight);

    if (m_pList->topLevelItemCount() > 0)
        m_pList->topLevelItem(0)->setSelected(true);
    ShowPreview();
}

void RestoreSnapshotDialog::ShowPreview()
{
    const QList<QTreeWidgetItem*> selected = m_pList->selectedItems();
    m_pRestore->setEnabled(!selected.isEmpty());
    if (selected.isEmpty()) {
        m_pPreview->clear();
        return;
    }
    const QImage screen = FirstScreen(selected.front()->data(0, kPathRole).toString().toStdString(), m_identity);
    if (screen.isNull()) {
        m_pPreview->setText(tr("(unreadable)"));
        return;
    }
    m_pPreview->setPixmap(QPixmap::fromImage(screen.scaled(screen.size() * 2)));
}

void RestoreSnapshotDialog::OnRestore()
{
    const QList<QTreeWidgetItem*> selected = m_pList->selectedItems();
    if (selected.isEmpty())
        return;
    QTreeWidgetItem* item = selected.front();
    CMessageBoxDialog question(this,
                               tr("Write the settings of %1 (serial %2) back into the device ?\nIts screens, coil "
                                  "settings and curves are replaced; a snapshot of what it holds now is taken first.")
                                   .arg(item->text(0), item->text(2)),
                               "", nemora::widgets::kBoxYesNoQuestion);
    if (question.DoModal() != nemora::widgets::kIdYes)
        return;
    m_chosen = item->data(0, kPathRole).toString();
    accept();
}

} // namespace nemora::settings
