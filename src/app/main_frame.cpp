#include "app/main_frame.h"

#include "app/harbor_view.h"
#include "app/language_menu.h"
#include "app/no_device_transport.h"
#include "app/page_welcome.h"
#include "app/platform.h"
#include "app/report_dialog.h"
#include "app/window_fit.h"
#include "device/device_return.h"
#include "device/page_info.h"
#include "dfu/dfu_update.h"
#include "dfu/text_progress_ctrl.h"
#include "dfuse/dfuse_library.h"
#include "dfuse/outcome_log.h"
#include "firmware/page_update.h"
#include "report/diagnostic_report.h"
#include "settings/page_custom.h"
#include "settings/restore_dialog.h"
#include "settings/settings_file.h"
#include "settings/snapshots.h"
#include "usb/transport.h"
#include "widgets/dialog_units.h"
#include "widgets/file_folders.h"
#include "widgets/message_box_dialog.h"
#include "widgets/tab_order.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDockWidget>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QLayout>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QSettings>
#include <QStatusBar>
#include <QStyleOptionToolButton>
#include <QStylePainter>
#include <QTabBar>
#include <QTabWidget>
#include <QTime>
#include <QTimer>
#include <QToolBar>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr const char* kWorkspaceGroup = "Workspace";

} // namespace

CMainFrame::CMainFrame(MainFrameServices services, QWidget* pParent)
    : QMainWindow(pParent), m_services(std::move(services))
{
    setObjectName("CMainFrame");
    CreateMenus();

    m_pToolBar = addToolBar(tr("Standard"));
    m_pToolBar->setObjectName("Standard");
    m_pToolBar->setToolButtonStyle(Qt::ToolButtonTextOnly);
    ResetToolbarItems();

    if (!m_services.pTransport) {
        m_pOwnTransport = std::make_unique<CNoDeviceTransport>();
        m_services.pTransport = m_pOwnTransport.get();
    }
    if (!m_services.pLibrary) {
        m_pOwnLibrary = std::make_unique<nemora::dfuse::DfuseLibrary>(*m_services.pTransport);
        m_services.pLibrary = m_pOwnLibrary.get();
    }

    m_pScroll = new QScrollArea(this);
    m_pScroll->setWidgetResizable(true);
    m_pScroll->setFocusPolicy(Qt::NoFocus); // Tab goes through the page; a control that takes it is scrolled in
    // The view comes first: the pages live in it and send their notifications to it.
    m_pView = new CHarborView(nullptr, this, HarborViewPages{});
    HarborViewPages pages;
    m_pWelcome = new CPageWelcome(m_pView, m_services.checkMagicFile);
    pages.pWelcome = m_pWelcome;
    CPageInfo::Platform infoPlatform;
    // A program of the caller's only starts; the system's own is watched, and the page shows how it ended.
    if (m_services.startProgram)
        infoPlatform.startProgram = m_services.startProgram;
    else
        infoPlatform.runInstaller = nemora::app::platform::RunProgram;
    infoPlatform.log = [this](const QString& strLine) {
        PAGE_NOTIFY notify;
        notify.hwndFrom = m_pInfo;
        notify.code = NOTIFY_LOG;
        notify.strText = strLine;
        m_pView->OnNotify(0, notify);
    };
    const nemora::app::platform::SystemVersion version = nemora::app::platform::GetSystemVersion();
    infoPlatform.systemMajor = version.major;
    infoPlatform.systemMinor = version.minor;
    infoPlatform.bSystem64Bit = nemora::app::platform::IsSystem64Bit();
    infoPlatform.strInstalledFolder = nemora::app::platform::InstalledProgramFolder();
    infoPlatform.strProgramFolder = m_services.strProgramFolder;
    m_pInfo = new CPageInfo(m_pView, infoPlatform);
    pages.pInfo = m_pInfo;
    pages.pInfoRoute = m_pInfo;
    m_pUpdate = new CPageUpdate(m_pView, *m_services.pLibrary, m_pView);
    pages.pUpdate = m_pUpdate;
    pages.pUpdateRoute = m_pUpdate;
    // The identities the view copies to the information and update pages come from the customize page,
    // which reads them from the device it opens.
    m_pCustom = new CPageCustom(m_pView, *m_services.pLibrary, m_pView);
    pages.pCustom = m_pCustom;
    pages.pCustomRoute = m_pCustom;
    // Every write to a device's flash first keeps both of its user areas as a snapshot.
    const auto makeSnapshot = [this](const QString& strPath, const CDeviceIdentity& identity,
                                     const QString& strBefore) {
        return nemora::settings::MakeSnapshotRequest(identity, SerialOf(strPath), strBefore.toStdString());
    };
    m_pUpdate->SetSnapshotMaker(makeSnapshot);
    m_pCustom->SetSnapshotMaker(makeSnapshot);
    m_pCustom->SetSerialLookup([this](const QString& strPath) { return SerialOf(strPath); });
    // Every operation's outcome is kept for the diagnostic report; one that points at a hub says what to try.
    CDfuUpdate::SetOutcomeRecorder([this](const QString& strPath, nemora::dfuse::OperationOutcome outcome) {
        outcome.serial = SerialOf(strPath);
        outcome.port = nemora::usb::LocationOfPath(strPath.toStdString());
        if (const std::string advice = nemora::dfuse::HubAdvice(outcome); !advice.empty())
            AppendLog(QString::fromStdString(advice));
        std::string error;
        if (const auto folder = nemora::settings::TransferFolder(error))
            nemora::dfuse::RecordOutcome(*folder, std::move(outcome), error);
    });
    // Every write to a device's flash is kept until it verified: one cut short is offered on arrival.
    CDfuUpdate::SetJournalMaker([this](const QString& strPath, nemora::dfuse::WriteRecord record)
                                    -> std::optional<nemora::dfuse::WriteJournal> {
        record.serial = SerialOf(strPath);
        record.port = nemora::usb::LocationOfPath(strPath.toStdString());
        std::string error;
        if (const auto folder = nemora::settings::TransferFolder(error)) {
            nemora::dfuse::WriteJournal journal(*folder, std::move(record));
            if (journal.Begin(error))
                return journal;
        }
        AppendLog(tr("This write is not recorded (%1): if it is cut short, the console will not offer to finish it.")
                      .arg(QString::fromStdString(error)));
        return std::nullopt;
    });
    for (QWidget* page : {static_cast<QWidget*>(m_pWelcome), static_cast<QWidget*>(m_pInfo),
                          static_cast<QWidget*>(m_pUpdate), static_cast<QWidget*>(m_pCustom)})
        page->hide(); // shown by their tabs
    m_pView->SetPages(pages);
    m_pScroll->setWidget(m_pView);
    setCentralWidget(m_pScroll);

    CreatePanes();
    CreateStatusBar();
    resize(1000, 720);
    qApp->installEventFilter(this);
}

CMainFrame::~CMainFrame()
{
    qApp->removeEventFilter(this);
    CDfuUpdate::SetOutcomeRecorder({});
    CDfuUpdate::SetJournalMaker({});
    // Pages and their engines go before the library and the transport they use.
    delete takeCentralWidget();
}

void CMainFrame::CreateMenus()
{
    QMenu* system = menuBar()->addMenu(tr("System(&S)"));
    connect(system->addAction(tr("Restore Settings...")), &QAction::triggered, this, &CMainFrame::OnRestoreSettings);
    system->addSeparator();
    QAction* exit = system->addAction(tr("Exit(&X)"));
    connect(exit, &QAction::triggered, this, &QWidget::close);

    QMenu* view = menuBar()->addMenu(tr("View(&V)"));
    QMenu* tools = view->addMenu(tr("Tool(&T)"));
    connect(tools, &QMenu::aboutToShow, this, [this, tools] {
        tools->clear();
        delete m_pToolListMenu; // the list of the previous opening
        m_pToolListMenu = createPopupMenu();
        m_pToolListMenu->setParent(tools, m_pToolListMenu->windowFlags());
        tools->addActions(m_pToolListMenu->actions());
    });
    QAction* status = view->addAction(tr("Status(&S)"));
    status->setCheckable(true);
    status->setChecked(true);
    connect(status, &QAction::toggled, this, [this](bool on) { statusBar()->setVisible(on); });
    nemora::app::AddLanguageMenu(view, this);

    QMenu* help = menuBar()->addMenu(tr("Help(&H)"));
    connect(help->addAction(tr("HandBook")), &QAction::triggered, this, [this] {
        if (m_services.onHandBook)
            m_services.onHandBook();
    });
    connect(help->addAction(tr("Diagnostic Report...")), &QAction::triggered, this, &CMainFrame::ShowDiagnosticReport);
    connect(help->addAction(tr("About Nemora(&A)...")), &QAction::triggered, this, [this] {
        if (m_services.onAbout)
            m_services.onAbout();
    });
}

std::string CMainFrame::SerialOf(const QString& strPath) const
{
    const std::string path = strPath.toStdString();
    for (const nemora::usb::DeviceInfo& device : m_devices) {
        if (device.path == path)
            return device.serial;
    }
    return {};
}

void CMainFrame::OnRestoreSettings()
{
    if (m_pCustom->DevicePath().isEmpty()) {
        CMessageBoxDialog box(this,
                              tr("No device in update mode is selected. Switch the device off, hold the fire key and "
                                 "plug it in, select it in the device list, then restore."),
                              "", nemora::widgets::kBoxInformation);
        box.DoModal();
        return;
    }
    std::string error;
    const auto folder = nemora::settings::SnapshotFolder(error);
    if (!folder) {
        CMessageBoxDialog box(this, tr("Unable to open the snapshot folder: %1").arg(QString::fromStdString(error)), "",
                              nemora::widgets::kBoxError);
        box.DoModal();
        return;
    }
    nemora::settings::RestoreSnapshotDialog dialog(this, m_pCustom->DeviceIdentity(), *folder);
    if (dialog.exec() == QDialog::Accepted && !dialog.ChosenSnapshot().isEmpty())
        m_pCustom->RestoreSnapshot(dialog.ChosenSnapshot());
}

QMenu* CMainFrame::createPopupMenu()
{
    QMenu* menu = QMainWindow::createPopupMenu();
    if (!menu)
        menu = new QMenu(this);
    menu->addSeparator();
    menu->addAction(tr("Customize...")); // kept for familiarity; there is nothing to customise
    return menu;
}

void CMainFrame::CreatePanes()
{
    m_pNavigationPane = new QDockWidget(tr("Page Navigation"), this);
    m_pNavigationPane->setObjectName("PageNavigation");
    m_pNavTree = new QTreeWidget(m_pNavigationPane);
    m_pNavTree->setHeaderHidden(true);
    m_pNavTree->setRootIsDecorated(true);
    m_pNavTree->setFrameShape(QFrame::Box);
    QFont treeFont = m_pNavTree->font();
    treeFont.setPointSize(15);
    m_pNavTree->setFont(treeFont);
    // Each item shows its tab's label in the user's language and keeps the label as written, which names
    // the tab to the view.
    for (const char* label : CHarborView::kTabLabels) {
        auto* item = new QTreeWidgetItem(QStringList(QCoreApplication::translate("CHarborView", label)));
        item->setData(0, Qt::UserRole, QString::fromUtf8(label));
        m_pNavTree->addTopLevelItem(item);
    }
    // Only a selection is the user's choice: a tree that gets the focus without a current item makes its
    // first item current without selecting it, and that must not switch the page.
    connect(m_pNavTree, &QTreeWidget::itemSelectionChanged, this, [this] {
        const QList<QTreeWidgetItem*> selected = m_pNavTree->selectedItems();
        QTreeWidgetItem* current = selected.isEmpty() ? nullptr : selected.front();
        if (!current)
            return;
        PAGE_NOTIFY notify;
        notify.hwndFrom = m_pNavTree;
        notify.idFrom = 0;
        notify.code = NOTIFY_SHOW_PAGE;
        notify.strText = current->data(0, Qt::UserRole).toString();
        OnNotify(0, notify);
    });
    auto* treeHolder = new QWidget(m_pNavigationPane);
    auto* treeLayout = new QVBoxLayout(treeHolder);
    treeLayout->setContentsMargins(1, 1, 1, 1);
    treeLayout->addWidget(m_pNavTree);
    m_pNavigationPane->setWidget(treeHolder);
    m_pNavigationPane->setMinimumWidth(200);
    addDockWidget(Qt::LeftDockWidgetArea, m_pNavigationPane);

    m_pLogPane = new QDockWidget(tr("Log"), this);
    m_pLogPane->setObjectName("Log");
    auto* tabs = new QTabWidget(m_pLogPane);
    // What happened, one timed line each; nothing is written to disk unless the user saves it.
    m_pLogList = new QListWidget;
    m_pLogList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_pLogList->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_pLogList, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        QMenu menu(m_pLogList);
        menu.addAction(tr("Copy"), this, [this] { QApplication::clipboard()->setText(LogText(true)); });
        menu.addAction(tr("Save As..."), this, [this] {
            const QString path =
                nemora::widgets::AskSaveFile(this, tr("Save the log"), nemora::widgets::FileDialogKind::Log,
                                             "nemora.log", tr("Log files (*.log *.txt);;All Files (*)"));
            if (!path.isEmpty())
                SaveLogTo(path);
        });
        menu.exec(m_pLogList->viewport()->mapToGlobal(at));
    });
    tabs->addTab(m_pLogList, tr("LOG"));
    if (auto* bar = tabs->findChild<QTabBar*>())
        bar->setFocusPolicy(Qt::NoFocus); // one tab: Tab goes straight to the lines
    m_pLogPane->setWidget(tabs);
    addDockWidget(Qt::BottomDockWidgetArea, m_pLogPane);
    // Wide enough for the longest item at the tree's font: indentation, the text, the frames and margins.
    int longest = 0;
    for (const char* label : CHarborView::kTabLabels)
        longest = std::max(
            longest, m_pNavTree->fontMetrics().horizontalAdvance(QCoreApplication::translate("CHarborView", label)));
    const int itemWidth = m_pNavTree->indentation() + longest + 2 * m_pNavTree->frameWidth() + 2 + 16;
    resizeDocks({m_pNavigationPane}, {std::max(200, itemWidth)}, Qt::Horizontal);
    resizeDocks({m_pLogPane}, {100}, Qt::Vertical);
}

void CMainFrame::CreateStatusBar()
{
    statusBar()->showMessage(tr("Ready"));
    const char* names[3] = {"CAP", "NUM", "SCRL"};
    for (int i = 0; i < 3; ++i) {
        m_pIndicators[i] = new QLabel(names[i], this);
        m_pIndicators[i]->setAlignment(Qt::AlignCenter);
        m_pIndicators[i]->setMinimumWidth(m_pIndicators[i]->fontMetrics().horizontalAdvance("SCRL") + 12);
        statusBar()->addPermanentWidget(m_pIndicators[i]);
    }
    UpdateLockIndicators();
}

void CMainFrame::UpdateLockIndicators()
{
    using nemora::app::platform::LockKey;
    const LockKey keys[3] = {LockKey::Caps, LockKey::Num, LockKey::Scroll};
    for (int i = 0; i < 3; ++i)
        m_pIndicators[i]->setEnabled(nemora::app::platform::LockKeyState(keys[i]).value_or(false));
}

bool CMainFrame::eventFilter(QObject* pWatched, QEvent* pEvent)
{
    if (pEvent->type() == QEvent::KeyRelease || pEvent->type() == QEvent::ApplicationActivate)
        UpdateLockIndicators();
    return QMainWindow::eventFilter(pWatched, pEvent);
}

CToolbarLabel::CToolbarLabel(const QString& text, QWidget* parent) : QToolButton(parent)
{
    setText(text);
    setToolButtonStyle(Qt::ToolButtonTextOnly);
    setAutoRaise(true);
}

void CToolbarLabel::paintEvent(QPaintEvent*)
{
    // Drawn as if enabled, whatever the state of its command.
    QStylePainter painter(this);
    QStyleOptionToolButton option;
    initStyleOption(&option);
    option.state |= QStyle::State_Enabled;
    option.palette.setCurrentColorGroup(QPalette::Active);
    painter.drawComplexControl(QStyle::CC_ToolButton, option);
}

void CMainFrame::ResetToolbarItems()
{
    m_pToolBar->clear();
    auto* current = new CToolbarLabel(tr("Current device list"), m_pToolBar);
    m_pToolBar->addWidget(current);
    m_pDeviceBox = new QComboBox(m_pToolBar);
    m_pDeviceBox->setObjectName("DeviceBox");
    m_pDeviceBox->setEditable(true);
    // Editable, as the toolbar has always shown it, but typing never adds an entry: the box lists every
    // attached device, and choosing one in its list selects it for every page.
    m_pDeviceBox->setInsertPolicy(QComboBox::NoInsert);
    m_pDeviceBox->setFixedWidth(260);
    connect(m_pDeviceBox, &QComboBox::activated, this, &CMainFrame::OnDeviceChosen);
    m_pDeviceBox->setFrame(false);
    // The box is a widget action: its visibility is the action's.
    m_pDeviceBoxAction = m_pToolBar->addWidget(m_pDeviceBox);
    m_pToolBar->addSeparator();
    auto* disconnect = new CToolbarLabel(tr("Disconnect"), m_pToolBar);
    connect(disconnect, &QToolButton::clicked, this, &CMainFrame::OnDisconnect);
    m_pToolBar->addWidget(disconnect);
}

void CMainFrame::OnDisconnect()
{
    // The device that leaves update mode now, to be told when it is back.
    const QString path = m_pView ? m_pView->DevicePath() : QString();
    const auto leaving = std::find_if(m_devices.begin(), m_devices.end(), [&](const nemora::usb::DeviceInfo& d) {
        return QString::fromStdString(d.path).toUpper() == path;
    });
    PAGE_NOTIFY notify;
    notify.hwndFrom = this;
    notify.code = NOTIFY_DISCONNECT;
    if (m_pView)
        m_pView->OnNotify(0, notify);
    if (leaving == m_devices.end() || leaving->mode != nemora::usb::InterfaceMode::Dfu)
        return;
    m_awaitingBack.emplace(*leaving);
    m_backDeadline.start();
    QTimer::singleShot(kBackWaitMs + 100, this, &CMainFrame::CheckBack);
}

void CMainFrame::CheckBack()
{
    if (!m_awaitingBack)
        return;
    if (const auto back = m_awaitingBack->Look(m_devices))
        TellBack(QString::fromStdString(nemora::device::BackText(*back)));
    else if (m_backDeadline.elapsed() >= kBackWaitMs)
        TellBack(QString::fromStdString(nemora::device::NotBackText(m_awaitingBack->Left(), kBackWaitMs / 1000)));
}

void CMainFrame::TellBack(const QString& strText)
{
    m_awaitingBack.reset();
    AppendLog(strText);
    statusBar()->showMessage(strText);
    if (CDfuUpdate* engine = m_pCustom ? m_pCustom->Engine() : nullptr)
        engine->ProgressBar()->SetWindowText(strText);
}

void CMainFrame::OnDeviceChange()
{
    EnumerateDevices();
}

void CMainFrame::OnInitialUpdate()
{
    // A page is initialised at the size of its own form.
    const nemora::widgets::DialogUnitScale du = nemora::widgets::DialogUnitsFor(m_pWelcome->font());
    m_pWelcome->resize(du.Dx(CPageWelcome::kTemplateWidthDu), du.Dy(CPageWelcome::kTemplateHeightDu));
    m_pWelcome->OnInitDialog();
    m_pInfo->OnInitDialog();
    m_pUpdate->OnInitDialog();
    m_pCustom->OnInitDialog();
    m_pView->OnInitialUpdate();
    OrderTabs();
    // A page is placed for good only once it is shown: the order follows it then.
    for (QTabWidget* tabs : {m_pView->TabControl(), m_pCustom->TabControl()}) {
        if (tabs)
            connect(tabs, &QTabWidget::currentChanged, this,
                    [this] { QTimer::singleShot(0, this, &CMainFrame::OrderTabs); });
    }
}

void CMainFrame::OrderTabs()
{
    // Tab follows the window as it is read: the toolbar, the navigation, the page from top to bottom, the Log.
    nemora::widgets::OrderTabFocus({m_pToolBar, m_pNavigationPane, m_pScroll, m_pLogPane});
}

void CMainFrame::showEvent(QShowEvent* pEvent)
{
    QMainWindow::showEvent(pEvent);
    QTimer::singleShot(0, this, &CMainFrame::OrderTabs);
}

void CMainFrame::ShowDiagnosticReport()
{
    nemora::report::ReportOptions options;
    options.program = "nemora";
    options.qtVersion = qVersion();
    for (const QString& line : LogText(false).split('\n', Qt::SkipEmptyParts))
        options.logLines.push_back(line.toStdString());
    // A device one of this window's transfers runs on is not opened for the report.
    options.busy = [](const std::string& path) { return CDfuUpdate::TransferRunsOn(QString::fromStdString(path)); };
    QApplication::setOverrideCursor(Qt::WaitCursor);
    nemora::report::Report report =
        nemora::report::CollectReport(*m_services.pTransport, *m_services.pLibrary, options);
    QApplication::restoreOverrideCursor();
    CReportDialog dialog(this, std::move(report));
    dialog.exec();
}

void CMainFrame::AppendLog(const QString& strLine)
{
    if (m_pLogList) {
        m_pLogList->addItem(QTime::currentTime().toString("HH:mm:ss") + "  " + strLine);
        m_pLogList->scrollToBottom();
    }
}

QString CMainFrame::LogText(bool bSelectedOnly) const
{
    QStringList lines;
    for (int i = 0; m_pLogList && i < m_pLogList->count(); ++i) {
        if (!bSelectedOnly || m_pLogList->item(i)->isSelected() || m_pLogList->selectedItems().isEmpty())
            lines << m_pLogList->item(i)->text();
    }
    return lines.isEmpty() ? QString() : lines.join('\n') + '\n';
}

bool CMainFrame::SaveLogTo(const QString& strPath)
{
    if (const QString error = nemora::widgets::WriteTextFile(strPath, LogText(false)); !error.isEmpty()) {
        CMessageBoxDialog box(
            this,
            tr("The log could not be saved to \"%1\": %2.\nChoose another folder or file name.").arg(strPath, error),
            tr("Warning"), nemora::widgets::kBoxWarning);
        box.DoModal();
        return false;
    }
    return true;
}

bool CMainFrame::OnNotify(std::uintptr_t wParam, PAGE_NOTIFY& notify)
{
    if (wParam != 0)
        return false;
    if (notify.code == NOTIFY_LOG) {
        AppendLog(notify.strText);
        return true;
    }
    if (notify.code == NOTIFY_SHOW_PAGE) {
        if (m_pView)
            m_pView->OnNotify(0, notify);
        return true;
    }
    if (notify.code == NOTIFY_DEVICE_NAME && m_pDeviceBox) {
        // With devices attached the box lists them all, the selected one shown; with none it holds the
        // view's one (empty) name.
        if (m_arrDevicePaths.isEmpty() &&
            m_pDeviceBox->findText(notify.strText, Qt::MatchExactly | Qt::MatchCaseSensitive) < 0)
            m_pDeviceBox->addItem(notify.strText);
        if (m_arrDevicePaths.isEmpty())
            m_pDeviceBox->setCurrentIndex(0);
        else
            m_pDeviceBox->setEditText(notify.strText); // the box shows the selected model; its list says more
        if (!m_pDeviceBoxAction->isVisible())
            m_pDeviceBoxAction->setVisible(true);
    }
    return false;
}

void CMainFrame::EnumerateDevices()
{
    if (!m_pDeviceBox)
        return;
    // The box lists the devices now: the first of the previous listing is what the selection rule keeps.
    const int previous = m_pDeviceBox->count() > 0 ? 0 : -1;
    QString previousPath;
    bool havePrevious = false;
    if (previous >= 0 && previous < m_arrDevicePaths.size()) {
        previousPath = m_arrDevicePaths[previous];
        havePrevious = true;
    }

    const std::vector<nemora::usb::DeviceInfo> before = m_devices;
    m_pDeviceBox->clear();
    m_pDeviceBox->clearEditText();
    m_arrDevicePaths.clear();
    m_devices.clear();
    // The transport lists update-mode interfaces first, then application-mode ones.
    if (m_services.pTransport && m_services.pTransport->Enumerate(m_devices) == nemora::usb::Status::Ok) {
        for (const nemora::usb::DeviceInfo& device : m_devices)
            m_arrDevicePaths << QString::fromStdString(device.path).toUpper();
    } else {
        m_devices.clear();
    }

    LogDeviceChanges(before, m_devices);

    // The user's choice while it is attached; otherwise the first device of the previous listing while it
    // is, else the first.
    int choice = 0;
    const auto chosen = static_cast<int>(m_arrDevicePaths.indexOf(m_strChosenPath));
    if (!m_strChosenPath.isEmpty() && chosen >= 0) {
        choice = chosen;
    } else if (havePrevious && !previousPath.isEmpty() && !m_arrDevicePaths.isEmpty()) {
        m_strChosenPath.clear();
        const auto found = static_cast<int>(m_arrDevicePaths.indexOf(previousPath));
        if (found >= 0)
            choice = found;
    }
    {
        const QSignalBlocker quiet(m_pDeviceBox);
        for (const nemora::usb::DeviceInfo& device : m_devices)
            m_pDeviceBox->addItem(DeviceBoxLabel(device));
        if (!m_devices.empty())
            m_pDeviceBox->setCurrentIndex(choice);
    }

    if (m_pDeviceBoxAction->isVisible())
        m_pDeviceBoxAction->setVisible(false);

    SendDeviceChanged(m_arrDevicePaths.isEmpty() ? QString() : m_arrDevicePaths[choice]);
    CheckBack();
    std::vector<nemora::usb::DeviceInfo> arrived;
    for (const nemora::usb::DeviceInfo& d : m_devices) {
        if (std::none_of(before.begin(), before.end(), [&](const auto& b) { return b.path == d.path; }))
            arrived.push_back(d);
    }
    if (!arrived.empty()) // asked once the listing has reached every page
        QTimer::singleShot(0, this, [this, arrived] { OfferCutShortWrites(arrived); });
}

void CMainFrame::OfferCutShortWrites(const std::vector<nemora::usb::DeviceInfo>& arrived)
{
    std::string error;
    const auto folder = nemora::settings::TransferFolder(error);
    if (!folder)
        return;
    const std::vector<nemora::dfuse::WriteRecord> cut =
        nemora::dfuse::CutShortWrites(nemora::dfuse::ReadWrites(*folder));
    for (const nemora::usb::DeviceInfo& device : arrived) {
        const QString path = QString::fromStdString(device.path).toUpper();
        const auto record = std::find_if(cut.begin(), cut.end(), [&](const nemora::dfuse::WriteRecord& r) {
            // Running its firmware, the device has other ids: its serial number still tells it.
            return device.mode == nemora::usb::InterfaceMode::Dfu
                       ? nemora::dfuse::WentTo(r, device.vid, device.pid, device.bcdDevice, device.serial,
                                               nemora::usb::LocationOfPath(device.path))
                       : !r.serial.empty() && r.serial == device.serial;
        });
        if (record == cut.end() || m_arrToldWrites.contains(QString::fromStdString(record->id)))
            continue;
        // A settings write of this run that failed: the Customize page already offers its own way back.
        if (record->title != "firmware update" && nemora::dfuse::KeptByThisProcess(*record))
            continue;
        m_arrToldWrites << QString::fromStdString(record->id);
        const QString said = QString::fromStdString(nemora::dfuse::CutShortText(*record));
        if (device.mode != nemora::usb::InterfaceMode::Dfu) {
            AppendLog(tr("%1: put the device in update mode to finish it.").arg(said));
            continue;
        }
        AppendLog(said);
        // Asked once the pages' read of the new device is over.
        WhenIdle(path, [this, path, write = *record] { OfferToFinish(path, write); });
    }
}

void CMainFrame::OfferToFinish(const QString& strPath, const nemora::dfuse::WriteRecord& write)
{
    if (!m_arrDevicePaths.contains(strPath))
        return; // gone again meanwhile
    if (!isVisible() || QApplication::activeModalWidget() != nullptr) {
        // Asked over the shown window once nothing else asks, never under a first run's boxes.
        QTimer::singleShot(200, this, [this, strPath, write] { OfferToFinish(strPath, write); });
        return;
    }
    const QString said = QString::fromStdString(nemora::dfuse::CutShortText(write));
    const std::string refusal = nemora::dfuse::WriteAgainRefusal(write);
    QString detail = tr("The device may hold only part of it.");
    if (!refusal.empty())
        detail += "\n" + tr("%1, so it cannot be written again.").arg(QString::fromStdString(refusal));
    QMessageBox box(QMessageBox::Warning, windowTitle(), tr("%1.").arg(said), QMessageBox::NoButton, this);
    box.setInformativeText(detail);
    QPushButton* again = refusal.empty() ? box.addButton(tr("Write it again"), QMessageBox::AcceptRole) : nullptr;
    if (!write.snapshot.empty())
        box.addButton(tr("Restore the settings kept before it"), QMessageBox::ActionRole);
    QPushButton* later = box.addButton(tr("Not now"), QMessageBox::RejectRole);
    box.setDefaultButton(again ? again : later);
    box.exec();
    const QAbstractButton* chosen = box.clickedButton();
    if (chosen == nullptr || chosen == later) {
        AppendLog(tr("Not finished now: it is offered again the next time the console starts with the device."));
        return;
    }
    m_strChosenPath = strPath;
    SendDeviceChanged(strPath);
    if (chosen == again) {
        AppendLog(tr("Writing %1 again").arg(QString::fromStdString(write.file)));
        m_pView->TabControl()->setCurrentWidget(m_pUpdate);
        WhenIdle(strPath, [this, write] {
            if (!m_pUpdate->WriteAgain(QString::fromStdString(write.file), QString::fromStdString(write.title),
                                       QString::fromStdString(write.detail), write.id))
                AppendLog(tr("The write could not be started again: choose the file on \"ROM Update\"."));
        });
    } else {
        AppendLog(tr("Restoring the settings kept before it"));
        m_pView->TabControl()->setCurrentWidget(m_pCustom);
        WhenIdle(strPath,
                 [this, write] { m_pCustom->RestoreSnapshotFor(QString::fromStdString(write.snapshot), write.id); });
    }
}

void CMainFrame::WhenIdle(const QString& strPath, std::function<void()> action, int nTriesLeft)
{
    if (!CDfuUpdate::TransferRunsOn(strPath)) {
        action();
        return;
    }
    if (nTriesLeft <= 0) {
        AppendLog(tr("The device stayed busy: nothing was written."));
        return;
    }
    QTimer::singleShot(100, this, [this, strPath, action = std::move(action), nTriesLeft]() mutable {
        WhenIdle(strPath, std::move(action), nTriesLeft - 1);
    });
}

QString CMainFrame::DeviceBoxLabel(const nemora::usb::DeviceInfo& device)
{
    const CatalogueNames names = NamesOf(device.vid, device.pid, device.bcdDevice);
    const QString model = QString::fromStdString(names.catalogued ? names.model : UnknownModelNameText());
    const bool update = device.mode == nemora::usb::InterfaceMode::Dfu;
    if (device.serial.empty())
        return (update ? tr("%1 (update mode)") : tr("%1 (application mode)")).arg(model);
    return (update ? tr("%1 (update mode, %2)") : tr("%1 (application mode, %2)"))
        .arg(model, QString::fromStdString(nemora::report::ShownSerial(device.serial, false)));
}

void CMainFrame::OnDeviceChosen(int nIndex)
{
    if (nIndex < 0 || nIndex >= m_arrDevicePaths.size() || m_arrDevicePaths[nIndex] == m_pView->DevicePath())
        return;
    // A transfer the user started is never cut short by a choice: it finishes on its device first. The
    // silent read of a selection gives way.
    for (QWidget* window : QApplication::topLevelWidgets()) {
        const auto* engine = qobject_cast<const CDfuUpdate*>(window);
        if (engine && engine->IsRunning() && engine->isVisible()) {
            const QSignalBlocker quiet(m_pDeviceBox);
            m_pDeviceBox->setCurrentIndex(static_cast<int>(m_arrDevicePaths.indexOf(m_pView->DevicePath())));
            CMessageBoxDialog box(this,
                                  tr("A transfer is running on %1.\nChoose another device when it has finished.")
                                      .arg(m_pDeviceBox->currentText()),
                                  "", nemora::widgets::kBoxInformation);
            box.DoModal();
            return;
        }
    }
    m_strChosenPath = m_arrDevicePaths[nIndex];
    AppendLog(tr("Device chosen: %1").arg(m_pDeviceBox->itemText(nIndex)));
    SendDeviceChanged(m_strChosenPath);
}

void CMainFrame::SendDeviceChanged(const QString& strPath)
{
    PAGE_NOTIFY notify;
    notify.hwndFrom = this;
    notify.code = NOTIFY_DEVICE_CHANGED;
    notify.strText = strPath;
    if (m_pView)
        m_pView->OnNotify(0, notify);
}

void CMainFrame::LogDeviceChanges(const std::vector<nemora::usb::DeviceInfo>& before,
                                  const std::vector<nemora::usb::DeviceInfo>& after)
{
    auto describe = [](const nemora::usb::DeviceInfo& d) {
        CDeviceIdentity identity;
        identity.SetIds(d.vid, d.pid, d.bcdDevice);
        std::string model = UnknownModelNameText();
        identity.GetModelName(model);
        const bool update = d.mode == nemora::usb::InterfaceMode::Dfu;
        const QString path = QString::fromStdString(d.path);
        if (d.serial.empty())
            return (update ? tr("%1 in update mode (%2)") : tr("%1 running its firmware (%2)"))
                .arg(QString::fromStdString(model), path);
        return (update ? tr("%1 in update mode, serial %2 (%3)") : tr("%1 running its firmware, serial %2 (%3)"))
            .arg(QString::fromStdString(model), QString::fromStdString(d.serial), path);
    };
    auto contains = [](const std::vector<nemora::usb::DeviceInfo>& list, const nemora::usb::DeviceInfo& d) {
        return std::any_of(list.begin(), list.end(), [&](const auto& x) { return x.path == d.path; });
    };
    for (const auto& d : before)
        if (!contains(after, d))
            AppendLog(tr("Device removed: %1").arg(describe(d)));
    for (const auto& d : after)
        if (!contains(before, d))
            AppendLog(tr("Device arrived: %1").arg(describe(d)));
}

bool CMainFrame::CheckFirstRun()
{
    return m_services.checkFirstRun ? m_services.checkFirstRun() : false;
}

void CMainFrame::SaveWorkspace() const
{
    QSettings settings(kSettingsOrganization, kSettingsApplication);
    settings.beginGroup(kWorkspaceGroup);
    settings.setValue("Geometry", saveGeometry());
    settings.setValue("State", saveState());
}

bool CMainFrame::RestoreWorkspace()
{
    QSettings settings(kSettingsOrganization, kSettingsApplication);
    settings.beginGroup(kWorkspaceGroup);
    const bool restored = settings.contains("Geometry") && restoreGeometry(settings.value("Geometry").toByteArray());
    if (settings.contains("State"))
        restoreState(settings.value("State").toByteArray());
    return restored;
}

void CMainFrame::FitToScreen(bool bRestored)
{
    const QScreen* where = screen();
    if (!where)
        return;
    if (layout())
        layout()->activate();
    QSize decoration = frameGeometry().size() - size();
    if (decoration.isEmpty() && !(windowFlags() & Qt::FramelessWindowHint))
        decoration = QSize(8, 32); // the window manager has not framed the window yet: a usual frame
    const QSize lacking = m_pView->LargestNeededSize() - m_pScroll->viewport()->size();
    const nemora::app::WindowPlace place =
        nemora::app::FitWindow(QRect(frameGeometry().topLeft(), size() + decoration), decoration, lacking,
                               where->availableGeometry(), bRestored);
    resize(place.clientSize);
    move(place.framePosition);
}

void CMainFrame::closeEvent(QCloseEvent* pEvent)
{
    CMessageBoxDialog ask(this, tr("Are you sure you want to close the program?!"), tr("Ask"),
                          nemora::widgets::kBoxYesNoQuestion);
    if (ask.DoModal() != nemora::widgets::kIdYes) {
        pEvent->ignore();
        return;
    }
    SaveWorkspace();
    pEvent->accept();
}
