#pragma once

#include "device/device_identity.h"
#include "dfuse/dfu_file.h"
#include "dfuse/dfuse_contract.h"
#include "dfuse/transfer_job.h"
#include "settings/customize_session.h"
#include "settings/settings_record.h"
#include "widgets/page_notify.h"

#include <QString>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

class CDfuUpdate;
class CPageCustomDisplay;
class CPageCustomPara;
class CPageCustomPower;
class CPageCustomTEMP;
class QPushButton;
class QScrollArea;
class QTabWidget;

namespace nemora::dfuse {
class IDfuseLibrary;
}

// The "Customize" tab: moves the two user areas (the logo area with the twelve screen images, and the
// parameter area with the settings record) between the device, settings files and the four sub-pages
// "Display", "Parameters", "Temperature Lines" and "Power Line". The current sub-page decides which area a
// read or a write moves and what "Default" restores. Transfers run in the page's own engine.
class CPageCustom : public QWidget, public ICustomizePageRoute {
    Q_OBJECT
public:
    enum : int {
        IDC_READ_FROM_DEVICE = 1021,
        IDC_WRITE_TO_DEVICE = 1022,
        IDC_LOAD_FILE = 1023,
        IDC_SAVE_FILE = 1024,
        IDC_DEFAULT = 1025,
    };
    enum Tab : int { kTabDisplay = 0, kTabParameters = 1, kTabTemperature = 2, kTabPower = 3 };

    CPageCustom(QWidget* pParent, nemora::dfuse::IDfuseLibrary& library, INotifyReceiver* pView);
    ~CPageCustom() override;

    // The buttons, the inner tabs and the four sub-pages (tab 0 current).
    bool OnInitDialog();

    // ICustomizePageRoute
    // The selected device; empty means none. A device is opened and its parameter area read at once,
    // without showing the engine.
    void SetDevicePath(const QString& strPath) override;
    CDeviceIdentity& DeviceIdentity() override { return m_DeviceIdentity; }
    // Takes in what the last upload handed back (NOTIFY_UPLOAD_DONE).
    void ApplyElement() override;
    // "Disconnect": the device leaves update mode; the engine stays up with the outcome.
    void OnDisconnect() override;
    void RestoreSnapshot(const QString& strPath) override;
    // The same, recorded as finishing the write cut short with that id.
    void RestoreSnapshotFor(const QString& strPath, const std::string& strResolves);
    void OnEngineDone(const QObject* pFrom) override;

    // What the page's writes read and keep first (see CDfuUpdate::SetSnapshotMaker).
    void SetSnapshotMaker(
        std::function<nemora::dfuse::SnapshotRequest(const QString&, const CDeviceIdentity&, const QString&)> maker);

    // The serial number of the attached device at a path, empty when unknown; without it a device is
    // known by its path alone.
    void SetSerialLookup(std::function<std::string(const QString&)> lookup);

    // Starts the upload of one area into m_Element, with the engine shown or not.
    void ReadArea(const char* pszName, std::uint32_t dwAddress, std::uint32_t dwSize, bool bShow);
    // The same for several areas in one upload, each handed back (and taken in) by its address.
    struct AreaToRead {
        std::uint32_t address = 0;
        std::uint32_t size = 0;
    };
    void ReadAreas(const char* pszName, const std::vector<AreaToRead>& areas, bool bShow);
    // The editors or the screens hold changes that were not written since the last read or load.
    bool EditsPending();
    // Asks before a write of screens that were neither read from this device nor loaded nor edited (their
    // built-in images would replace the device's). True to write.
    bool AskToWriteUnreadScreens(const std::vector<std::uint8_t>& area);
    // What a write that stopped in the phase left on the device, in plain words: told from the area read
    // back when the device still answers, else from the phase.
    QString WriteFailureText(nemora::dfuse::TransferJob::Phase phase);
    // After a failed write: offers to write back the snapshot taken before it, now or, when the device
    // went away, once it is selected again.
    void OfferRestoreAfterFailure();
    // The question, after what the device holds now when that is known.
    bool AskToRestore(const QString& strSnapshot, const QString& strHeldNow = QString());
    // Whether the screens shown came from this device (read) or from a file (loaded).
    bool ScreensKnown() const { return m_session.ScreensKnown(); }

    // Buttons. Load and Save ask for a file, then hand it to OnLoadFileFrom and OnSaveFileTo.
    void OnReadFromDevice();
    void OnWriteToDevice();
    void OnLoadFile();
    void OnSaveFile();
    void OnDefault();
    // Loads a settings file; a file that cannot be opened or is damaged is reported. False then.
    bool OnLoadFileFrom(const QString& strPath);
    // Saves both areas into a settings file, whole or not at all; a failure is reported. False then.
    bool OnSaveFileTo(const QString& strPath);

    // The engine, made on first use and kept.
    CDfuUpdate* GetEngine();
    CDfuUpdate* Engine() const { return m_pEngine; }

    // The room the buttons and the sub-pages need: each sub-page whole but the screens' rows, which scroll.
    QSize sizeHint() const override;

    QTabWidget* TabControl() const { return m_pMainTabCtrl; }
    int CurrentTab() const;
    void SetCurrentTab(int nTab);
    QPushButton* Button(int nId) const;
    CPageCustomDisplay* DisplayPage() const { return m_pDisplay; }
    CPageCustomPara* ParaPage() const { return m_pPara; }
    CPageCustomTEMP* TempPage() const { return m_pTemp; }
    CPageCustomPower* PowerPage() const { return m_pPower; }
    const SettingsRecord& Record() const { return m_session.Record(); }
    const nemora::settings::CustomizeSession& Session() const { return m_session; }
    const QString& DevicePath() const { return m_strDevicePath; }
    bool IsSilentRead() const { return m_bSilentRead; }
    bool IsLeavingDfu() const { return m_bLeavingDfu; }

private:
    nemora::settings::CustomizeSession m_session;

public:
    CDeviceIdentity& m_DeviceIdentity; // the session's

protected:
    void resizeEvent(QResizeEvent* pEvent) override;

private:
    using Writing = nemora::settings::Writing;
    // Takes in one area by its address: the logo area goes to the display page, a settings record to the
    // three editors, anything else is dropped.
    void ApplyData(std::uint32_t dwAddress, std::span<const std::uint8_t> bytes);
    SettingsEditorValues EditorValues();
    // The file dialog for loading (QFileDialog::AcceptOpen) or saving; an empty path when cancelled.
    QString AskForFile(int nMode);
    std::vector<std::uint8_t> EncodedLogoArea() const;
    // The transfer folder, made when missing, or an empty string after telling the user why not.
    QString TransferFolderPath();
    // The engine is free for this page's device; otherwise it comes into view, or the user learns why not.
    bool EngineReady();
    // Writes the staging file into the folder and downloads it into the device through the engine.
    // strTitle: what the write records call it ("settings write", "settings restore").
    bool DownloadStaging(const QString& strFolder, const nemora::dfuse::DfuFile& file, const QString& strBefore,
                         const QString& strTitle);
    std::string m_strRestoreResolves; // the write cut short the next restore finishes
    // Reads the area back first: says what it holds with the question, or only logs that nothing changed.
    bool AskToRestoreAfterReadBack(Writing writing, const QString& strSnapshot);
    QString LastSnapshot() const;
    void Log(const QString& strText);
    void ShowError(const QString& strText);

    nemora::dfuse::IDfuseLibrary& m_library;
    INotifyReceiver* m_pView;
    QString m_strDevicePath;
    CDfuUpdate* m_pEngine = nullptr;
    bool m_bFromDevice = false; // ApplyData takes in what the device holds, not a file
    bool m_bSilentRead = false;
    bool m_bLeavingDfu = false;
    std::function<nemora::dfuse::SnapshotRequest(const QString&, const CDeviceIdentity&, const QString&)>
        m_makeSnapshot;

    QPushButton* m_pRead = nullptr;
    QPushButton* m_pWrite = nullptr;
    QPushButton* m_pLoad = nullptr;
    QPushButton* m_pSave = nullptr;
    QPushButton* m_pDefault = nullptr;
    QWidget* m_pTabLocation = nullptr;
    QTabWidget* m_pMainTabCtrl = nullptr;
    QScrollArea* m_pDisplayScroll = nullptr;
    CPageCustomDisplay* m_pDisplay = nullptr;
    CPageCustomPara* m_pPara = nullptr;
    CPageCustomTEMP* m_pTemp = nullptr;
    CPageCustomPower* m_pPower = nullptr;
};
