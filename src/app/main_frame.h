#pragma once

#include "device/device_return.h"
#include "dfuse/write_journal.h"
#include "usb/transport.h"
#include "widgets/page_notify.h"

#include <QElapsedTimer>
#include <QMainWindow>
#include <QStringList>
#include <QToolButton>

#include <functional>
#include <vector>

#include <memory>
#include <optional>

namespace nemora::dfuse {
class IDfuseLibrary;
}

class CHarborView;
class CPageCustom;
class CPageInfo;
class CPageUpdate;
class CPageWelcome;
class QComboBox;
class QAction;
class QDockWidget;
class QLabel;
class QListWidget;
class QScrollArea;
class QToolBar;
class QTreeWidget;

// What the frame needs from the application object.
struct MainFrameServices {
    std::function<bool()> checkFirstRun;  // true when the driver installation is due
    std::function<void()> checkMagicFile; // reports by itself when the counter file cannot be opened
    std::function<void()> onHandBook;
    std::function<void()> onAbout;
    nemora::usb::Transport* pTransport = nullptr;     // the devices; null lists none
    nemora::dfuse::IDfuseLibrary* pLibrary = nullptr; // the DfuSe library; null: one over pTransport
    std::function<int(const QString&)> startProgram;  // starts driver installers; default: run and watched
    QString strProgramFolder; // the installers' Driver/ is looked for here; default: the executable's folder
};

// A toolbar item that shows only its text and always looks enabled.
class CToolbarLabel : public QToolButton {
    Q_OBJECT
public:
    explicit CToolbarLabel(const QString& text, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* pEvent) override;
};

// The main window: menu, "Standard" toolbar, the view in a scrolling area, the "Page Navigation" and
// "Log" panes and the status bar. It makes the pages and the view, and is where they are wired.
class CMainFrame : public QMainWindow, public IFrameServices {
    Q_OBJECT
public:
    explicit CMainFrame(MainFrameServices services, QWidget* pParent = nullptr);
    ~CMainFrame() override;

    // Runs the view's initial update (tabs, first enumeration, first-run check).
    void OnInitialUpdate();

    // IFrameServices
    bool OnNotify(std::uintptr_t wParam, PAGE_NOTIFY& notify) override;
    void EnumerateDevices() override;
    bool CheckFirstRun() override;

    CHarborView* View() const { return m_pView; }
    CPageInfo* InfoPage() const { return m_pInfo; }
    CPageUpdate* UpdatePage() const { return m_pUpdate; }
    CPageCustom* CustomPage() const { return m_pCustom; }
    QComboBox* DeviceBox() const { return m_pDeviceBox; }
    const QStringList& DevicePaths() const { return m_arrDevicePaths; }
    QTreeWidget* NavigationTree() const { return m_pNavTree; }
    QDockWidget* NavigationPane() const { return m_pNavigationPane; }
    QDockWidget* LogPane() const { return m_pLogPane; }
    QListWidget* LogList() const { return m_pLogList; }
    // One timed line in the "Log" pane.
    void AppendLog(const QString& strLine);
    // The log's lines (the selected ones, or all when none is selected), each ending in a line break.
    QString LogText(bool bSelectedOnly) const;
    // "Save As..." of the log's context menu; a failure is reported in a message box.
    bool SaveLogTo(const QString& strPath);
    QToolBar* StandardToolBar() const { return m_pToolBar; }

    // The saved window layout lives in the "Workspace" group of the settings.
    void SaveWorkspace() const;
    // True when a saved layout was there and is restored.
    bool RestoreWorkspace();
    // Once shown: a first window, or one whose saved layout no longer fits the screen, grows to show its
    // pages whole as far as the screen allows, and goes onto the screen.
    void FitToScreen(bool bRestored);
    // The device box's entry of a device: model, mode and the last four characters of its serial.
    static QString DeviceBoxLabel(const nemora::usb::DeviceInfo& device);
    // The user chose the device at that index in the box.
    void OnDeviceChosen(int nIndex);
    // Whether the device that left update mode is back, in which mode and with which firmware; after the
    // wait, that it is not.
    void CheckBack();
    void TellBack(const QString& strText);
    // NOTIFY_DEVICE_CHANGED to the view: the selected device for every page.
    void SendDeviceChanged(const QString& strPath);
    // Help -> "Diagnostic Report...": gathers the report and shows it.
    void ShowDiagnosticReport();
    // Chains the keyboard focus through the window as it is read; again whenever another page shows.
    void OrderTabs();

    // Builds the toolbar's device area ("Current device list", the device box, "Disconnect").
    void ResetToolbarItems();

    // A device in update mode whose last write was cut short: says so in the Log and offers to write it
    // again, to restore the settings kept before it, or not now (asked once per write and run). A device
    // running its firmware only gets the Log line.
    void OfferCutShortWrites(const std::vector<nemora::usb::DeviceInfo>& arrived);
    void OfferToFinish(const QString& strPath, const nemora::dfuse::WriteRecord& write);

    // "Restore Settings...": the snapshots of the selected device's model; the chosen one is written back.
    void OnRestoreSettings();
    // The serial number of a listed device path, empty when it is not listed or has none.
    std::string SerialOf(const QString& strPath) const;

public slots:
    // Any device arrived or left: one full enumeration.
    void OnDeviceChange();

protected:
    void showEvent(QShowEvent* pEvent) override;
    void closeEvent(QCloseEvent* pEvent) override;
    bool eventFilter(QObject* pWatched, QEvent* pEvent) override;
    QMenu* createPopupMenu() override;

private:
    void LogDeviceChanges(const std::vector<nemora::usb::DeviceInfo>& before,
                          const std::vector<nemora::usb::DeviceInfo>& after);
    void CreateMenus();
    void CreatePanes();
    void CreateStatusBar();
    void UpdateLockIndicators();

    void OnDisconnect();

    MainFrameServices m_services;
    std::unique_ptr<nemora::usb::Transport> m_pOwnTransport;
    std::unique_ptr<nemora::dfuse::IDfuseLibrary> m_pOwnLibrary;
    QStringList m_arrDevicePaths;
    QString m_strChosenPath; // the device the user chose in the box, while it is attached
    // After "Disconnect": the device that left update mode, until it is back or the wait is over.
    static constexpr int kBackWaitMs = 10000;
    std::optional<nemora::device::ReturnWatch> m_awaitingBack;
    QElapsedTimer m_backDeadline;
    std::vector<nemora::usb::DeviceInfo> m_devices; // the last enumeration, for the identity of a path
    QStringList m_arrToldWrites;                    // the writes cut short already told of in this run
    // Runs `action` once no transfer runs on the device at that path (a page's read of a new selection),
    // waiting up to a few seconds; the Log says when it gave up.
    void WhenIdle(const QString& strPath, std::function<void()> action, int nTriesLeft = 100);
    QComboBox* m_pDeviceBox = nullptr;
    QAction* m_pDeviceBoxAction = nullptr; // the box's place on the toolbar; hiding it hides the box
    CHarborView* m_pView = nullptr;
    CPageInfo* m_pInfo = nullptr;
    CPageUpdate* m_pUpdate = nullptr;
    CPageCustom* m_pCustom = nullptr;
    CPageWelcome* m_pWelcome = nullptr;
    QScrollArea* m_pScroll = nullptr;
    QToolBar* m_pToolBar = nullptr;
    QDockWidget* m_pNavigationPane = nullptr;
    QDockWidget* m_pLogPane = nullptr;
    QListWidget* m_pLogList = nullptr;
    QTreeWidget* m_pNavTree = nullptr;
    QLabel* m_pIndicators[3] = {nullptr, nullptr, nullptr};
    QMenu* m_pToolListMenu = nullptr;
};
