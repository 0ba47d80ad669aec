#pragma once

#include "device/device_identity.h"
#include "dfuse/dfu_file.h"
#include "dfuse/transfer_job.h"
#include "widgets/page_notify.h"

#include <QString>
#include <QWidget>

#include <functional>
#include <vector>

class CDfuUpdate;
class QLabel;
class QLineEdit;
class QPushButton;

namespace nemora::dfuse {
class IDfuseLibrary;
}

// The "ROM Update" tab: choose a firmware file, see which product, model and version it suits, and
// download it into the selected device through the page's own engine.
class CPageUpdate : public QWidget, public IRomUpdatePageRoute {
    Q_OBJECT
public:
    CPageUpdate(QWidget* pParent, nemora::dfuse::IDfuseLibrary& library, INotifyReceiver* pView);

    bool OnInitDialog();

    // IRomUpdatePageRoute
    CDeviceIdentity& DeviceIdentity() override { return m_DeviceIdentity; }
    void SetDevicePath(const QString& strPath) override;
    void EnableDownload(bool bEnable) override;
    // After an update that replaced the user areas, offers to restore the snapshot taken before it.
    void OnEngineDone(const QObject* pFrom) override;

    // What the page's downloads read and keep first (see CDfuUpdate::SetSnapshotMaker).
    void SetSnapshotMaker(
        std::function<nemora::dfuse::SnapshotRequest(const QString&, const CDeviceIdentity&, const QString&)> maker);
    QLabel* AreasLabel() const { return m_pAreas; }

    void ShowFileIdentity(CDeviceIdentity identity);

    // "Choose...": asks for a file, then OnChooseFile with it.
    void OnChoose();
    // What Choose does with the chosen path.
    void OnChooseFile(const QString& strPath);
    // "Download".
    void OnDownload();
    // A write that was cut short, written again: the file chosen as the user would choose it, then
    // downloaded, recorded under that title and detail as finishing the write with that id. False when
    // the file was refused or no device is selected (nothing was sent).
    bool WriteAgain(const QString& strPath, const QString& strTitle, const QString& strDetail,
                    const std::string& strResolves);

    QLineEdit* FileEdit() const { return m_pFileEdit; }
    QPushButton* DownloadButton() const { return m_pDownload; }
    QLabel* ProductLabel() const { return m_pProduct; }
    QLabel* ModelLabel() const { return m_pModel; }
    QLabel* VersionLabel() const { return m_pVersion; }
    CDfuUpdate* Engine() const { return m_pDfuUpdate; }

    CDeviceIdentity m_DeviceIdentity;
    CDeviceIdentity m_FileIdentity;

protected:
    bool eventFilter(QObject* pWatched, QEvent* pEvent) override;
    void keyPressEvent(QKeyEvent* pEvent) override;

private:
    bool EngineRunning() const;
    // Says in a box why a chosen file was not taken (code: the library's, 0 for an unreadable image).
    void ReportRefusedFile(const QString& strPath, std::uint32_t code);
    void Log(const QString& strLine);
    void Notify(std::uint32_t nCode, const QString& strText);
    // Says under the file's identity which user areas of the selected device the file overwrites.
    void ShowAreasWarning();

    nemora::dfuse::IDfuseLibrary& m_library;
    INotifyReceiver* m_pView;
    QString m_strFilePath;
    QString m_strDevicePath;
    CDfuUpdate* m_pDfuUpdate = nullptr;
    QLabel* m_pChooseLabel;
    QLineEdit* m_pFileEdit;
    QPushButton* m_pChoose;
    QPushButton* m_pDownload;
    QLabel* m_pProduct;
    QLabel* m_pModel;
    QLabel* m_pVersion;
    QLabel* m_pAreas = nullptr;
    std::vector<nemora::dfuse::Image> m_fileImages; // the chosen file's images, for the areas they write
    QString m_strAreasTouched;                      // as the snapshots name the areas: "logo area and parameter area"
    QString m_strAreasShown;                        // the same as the user reads it
    QString m_strOfferedSnapshot;                   // the snapshot the page last offered to restore
    bool m_bChangeShown = false;                    // the last download's change is in the Log
    // What the next download finishes (see WriteAgain).
    QString m_strNextTitle, m_strNextDetail;
    std::string m_strNextResolves;
    std::function<nemora::dfuse::SnapshotRequest(const QString&, const CDeviceIdentity&, const QString&)>
        m_makeSnapshot;
};
