#pragma once

// "Restore Settings": the snapshots kept for a model, newest first, each with its date, model, serial, what
// it was taken before and a picture of its first screen; "Restore" asks once more and then hands the chosen file to the
// caller.

#include "device/device_identity.h"

#include <QDialog>
#include <QString>

#include <filesystem>

class QLabel;
class QPushButton;
class QTreeWidget;

namespace nemora::settings {

class RestoreSnapshotDialog : public QDialog {
    Q_OBJECT
public:
    RestoreSnapshotDialog(QWidget* pParent, const CDeviceIdentity& identity, const std::filesystem::path& folder);

    // The snapshot to write back, once the dialog was accepted.
    const QString& ChosenSnapshot() const { return m_chosen; }

    QTreeWidget* List() const { return m_pList; }
    QPushButton* RestoreButton() const { return m_pRestore; }
    QLabel* Preview() const { return m_pPreview; }

private:
    void ShowPreview();
    void OnRestore();

    CDeviceIdentity m_identity;
    QTreeWidget* m_pList;
    QLabel* m_pPreview;
    QLabel* m_pNote;
    QPushButton* m_pRestore;
    QString m_chosen;
};

} // namespace nemora::settings
