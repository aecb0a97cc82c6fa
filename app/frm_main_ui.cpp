// The main window's controls: captions, tooltips, designed states, layout and connections.

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QHelpEvent>
#include <QLabel>
#include <QListView>
#include <QListWidget>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QShortcut>
#include <QStatusBar>
#include <QTabWidget>
#include <QToolTip>
#include <QTreeView>
#include <QVBoxLayout>
#include <algorithm>
#include <ctime>

#include "app/byte_line_edit.h"
#include "app/file_list_model.h"
#include "app/frm_main.h"
#include "app/frm_main_controls.h"
#include "engine/cache/scan.h"
#include "widgets/display.h"
#include "widgets/elided_label.h"
#include "widgets/line_list.h"

namespace qv {

using namespace controls;

namespace {

QScrollArea* scrolling(QWidget* page) {
    auto* area = new QScrollArea;
    area->setWidget(page);
    area->setWidgetResizable(true);
    area->setFrameShape(QFrame::NoFrame);
    area->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    page->setAutoFillBackground(false);
    area->viewport()->setAutoFillBackground(false);
    return area;
}

}  // namespace

void frmMain::buildControls() {
    auto* central = new QWidget(this);
    auto* outer = new QVBoxLayout(central);

    SSTab1 = named(new QTabWidget, "SSTab1");
    SSTab1->addTab(buildStatusTab(), QStringLiteral("Status"));
    SSTab1->addTab(buildFileListTab(), QStringLiteral("File List"));
    // The Options and Never Move tabs scroll on a small screen (or at a large scale) rather
    // than make the window larger than it.
    SSTab1->addTab(scrolling(buildOptionsTab()), QStringLiteral("Options"));
    SSTab1->addTab(scrolling(buildNeverMoveTab()), QStringLiteral("Never Move"));
    outer->addWidget(SSTab1, 1);

    lblUTName = label("lblUTName", "");
    // Room for a player name (the game takes up to 20 characters) whether one is known or not:
    // the thanks beside it stays where it is.
    lblUTName->setMinimumWidth(lblUTName->fontMetrics().averageCharWidth() * 20);
    Label5 = label("Label5", "Thanks for using my program");
    cmdRun = button("cmdRun", "Run");
    setRunButtonColour(cmdRun);
    cmdExit = button("cmdExit", "Exit");
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(lblUTName);
    bottom->addSpacing(16);
    bottom->addWidget(Label5);
    bottom->addStretch(1);
    bottom->addWidget(cmdRun);
    bottom->addWidget(cmdExit);
    outer->addLayout(bottom);
    setCentralWidget(central);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(2500);  // off until the reminder is wanted

    buildMenus();
    buildStatusBar();
    startGameWatch();
    connectControls();
    connectKeys();
    // Room to spare at the first start; later starts take the size the user left (Form_Load).
    resize(minimumSizeHint().expandedTo(QSize(680, 540)) + QSize(120, 80));
}

QWidget* frmMain::buildStatusTab() {
    auto* page = new QWidget;
    auto* v = new QVBoxLayout(page);
    Label1 = label("Label1", "");
    Label1->setTextInteractionFlags(Qt::TextSelectableByMouse);
    List1 = named(new QListView, "List1");
    statusModel_ = new LineListModel(this);
    List1->setModel(statusModel_);
    // Lines keep their full width (a horizontal scroll bar instead of cut-off paths). Every row
    // is as wide as the longest line, so a run's thousands of lines are laid out without
    // measuring each one.
    List1->setTextElideMode(Qt::ElideNone);
    List1->setUniformItemSizes(true);
    List1->setItemDelegate(new WidestRowDelegate(List1));
    List1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // New lines keep the last line in view while a run goes, or when it was in view already.
    keepLastLineInView(List1, [this] { return busy_ > 0; });
    v->addWidget(Label1);
    v->addWidget(List1, 1);
    return page;
}

QWidget* frmMain::buildFileListTab() {
    auto* page = new QWidget;
    auto* v = new QVBoxLayout(page);

    Label6 = label("Label6", "Cache Directory :");
    // A long path shows its start and end; the tooltip holds it whole.
    lblCacheDir = named(new ElidedLabel, "lblCacheDir");
    lblCacheDir->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    cmdCacheDir = button("cmdCacheDir", "...", "Click here to select an alternative directory");
    cmdCacheDir->setFixedWidth(32);
    auto* top = new QHBoxLayout;
    top->addWidget(Label6);
    top->addWidget(lblCacheDir, 1);
    top->addWidget(cmdCacheDir);
    v->addLayout(top);

    ListView1 = named(new QTreeView, "ListView1");
    model_ = new FileListModel(this);
    ListView1->setModel(model_);
    // A check box set by hand: the count says what the run of the checked rows now acts on.
    connect(model_, &FileListModel::checksChanged, this, [this] {
        if (busy_ == 0 && model_->hasPlan())
            sbrText->setText(displayText(filesToProcessText(model_->toProcess())));
    });
    ListView1->setRootIsDecorated(false);
    ListView1->setItemsExpandable(false);
    ListView1->setUniformRowHeights(true);  // keeps a list of 100,000 rows fast to scroll
    ListView1->setAllColumnsShowFocus(true);
    ListView1->setSelectionMode(QAbstractItemView::SingleSelection);
    ListView1->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    QHeaderView* header = ListView1->header();
    header->setStretchLastSection(true);  // "Package" takes what width is left
    ListView1->setTextElideMode(Qt::ElideMiddle);
    header->setSectionsClickable(true);
    header->setSectionsMovable(false);
    sizeFileListColumns();
    ListView1->viewport()->installEventFilter(this);
    v->addWidget(withPreview(ListView1), 1);

    cmdCheck = button("cmdCheck", "&Check All");
    cmdUncheck = button("cmdUncheck", "&Uncheck All");
    cmdRescan = button("cmdRescan", "R&e-scan");
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(cmdCheck);
    buttons->addWidget(cmdUncheck);
    buttons->addStretch(1);
    buttons->addWidget(cmdRescan);
    v->addLayout(buttons);
    return page;
}

QWidget* frmMain::buildNeverMoveTab() {
    auto* page = new QWidget;
    auto* v = new QVBoxLayout(page);

    Frame5 = named(new QGroupBox(QStringLiteral("File Additions")), "Frame5");
    txtNMAdd = named(new ByteLineEdit, "txtNMAdd", "Type in the full filename (ex - CTF-Face.unr)");
    cmdNMAdd = button("cmdNMAdd", "Add");
    auto* f5 = new QVBoxLayout(Frame5);
    auto* add = new QHBoxLayout;
    add->addWidget(txtNMAdd, 1);
    add->addWidget(cmdNMAdd);
    f5->addLayout(add);
    QLabel* note = label(
        "Label8",
        "( NOTE - you can also go to the File List tab and right-click a filename to add it)");
    note->setWordWrap(true);
    f5->addWidget(note);
    v->addWidget(Frame5);

    Frame4 = named(new QGroupBox(QStringLiteral("Current Files")), "Frame4");
    lstNM = named(new QListWidget, "lstNM");
    lstNM->setSelectionMode(QAbstractItemView::ExtendedSelection);
    // The list takes the height the tab has, not a preferred one: in its scroll area (the note
    // wraps, so the page is laid out at its preferred height) its buttons stay in view.
    lstNM->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Ignored);
    lstNM->setMinimumHeight(lstNM->fontMetrics().height() * 4);
    cmdNMRemove = button("cmdNMRemove", "Remove Selected");
    cmdNMSave = button("cmdNMSave", "Save Changes");
    auto* f4 = new QVBoxLayout(Frame4);
    f4->addWidget(lstNM, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(cmdNMRemove);
    buttons->addStretch(1);
    buttons->addWidget(cmdNMSave);
    f4->addLayout(buttons);
    v->addWidget(Frame4, 1);
    return page;
}

// The columns take the width their texts need in the list's font: the dates whole, the names up
// to three fifths of the list (a longer name shows whole in its tooltip).
void frmMain::buildMenus() {
    const auto entry = [this](QMenu* menu, const char* name, const char* caption) {
        QAction* a = menu->addAction(QString::fromLatin1(caption));
        a->setObjectName(QLatin1String(name));
        return a;
    };
    QMenu* mnuFile = menuBar()->addMenu(QStringLiteral("&File"));
    mnuFile->setObjectName(QStringLiteral("mnuFile"));
    mnuFileRun = entry(mnuFile, "mnuFileRun", "&Run");
    mnuFileExit = entry(mnuFile, "mnuFileExit", "E&xit");
    QMenu* mnuTools = menuBar()->addMenu(QStringLiteral("&Tools"));
    mnuTools->setObjectName(QStringLiteral("mnuTools"));
    mnuToolsCheckForUpdates = entry(mnuTools, "mnuToolsCheckForUpdates", "Chec&k for updates");
    mnuToolsEdit = entry(mnuTools, "mnuToolsEdit", "&Edit Quorvel INI");
    mnuToolsSetUT = entry(mnuTools, "mnuToolsSetUT", "&Set the UT dir");
    mnuToolsView = entry(mnuTools, "mnuToolsView", "&View Log");
    mnuToolsUndo = entry(mnuTools, "mnuToolsUndo", "&Undo Last Run...");
    mnuToolsCheckPackages = entry(mnuTools, "mnuToolsCheckPackages", "&Check Packages...");
    QMenu* mnuHelp = menuBar()->addMenu(QStringLiteral("&Help"));
    mnuHelp->setObjectName(QStringLiteral("mnuHelp"));
    mnuHelpContents = entry(mnuHelp, "mnuHelpContents", "&Contents");
    mnuHelpAbout = entry(mnuHelp, "mnuHelpAbout", "&About");
    // The keys a Linux desktop uses besides the menus' own.
    mnuHelpContents->setShortcut(QKeySequence::HelpContents);
    mnuFileExit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));  // in every keyboard scheme
}

void frmMain::connectKeys() {
    const auto key = [this](QWidget* on, QKeySequence keys, auto slot,
                            Qt::ShortcutContext context = Qt::WindowShortcut) {
        auto* shortcut = new QShortcut(keys, on);
        shortcut->setContext(context);
        connect(shortcut, &QShortcut::activated, this, slot);
    };
    const auto nextTab = [this](int step) {
        return [this, step] {
            const int n = SSTab1->count();
            SSTab1->setCurrentIndex((SSTab1->currentIndex() + step + n) % n);
        };
    };
    for (QKeySequence keys :
         {QKeySequence(Qt::CTRL | Qt::Key_Tab), QKeySequence(Qt::CTRL | Qt::Key_PageDown)})
        key(this, keys, nextTab(1));
    for (QKeySequence keys : {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab),
                              QKeySequence(Qt::CTRL | Qt::Key_PageUp)})
        key(this, keys, nextTab(-1));
    key(lstNM, QKeySequence::Delete, &frmMain::cmdNMRemove_Click, Qt::WidgetShortcut);
    // The menu key and Shift+F10 on the file list ask what a right click asks.
    for (QKeySequence keys : {QKeySequence(Qt::Key_Menu), QKeySequence(Qt::SHIFT | Qt::Key_F10)})
        key(
            ListView1, keys, [this] { ListView1_MouseUp(Qt::RightButton); }, Qt::WidgetShortcut);
}

void frmMain::buildStatusBar() {
    QStatusBar* StatusBar1 = statusBar();
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setSizeGripEnabled(true);
    sbrDate = label("sbrDate", "");
    sbrTime = label("sbrTime", "");
    sbrText = label("sbrText", "");
    for (QLabel* panel : {sbrDate, sbrTime, sbrText}) {
        panel->setFrameShape(QFrame::StyledPanel);
        panel->setFrameShadow(QFrame::Sunken);
        panel->setMargin(1);
    }
    sbrText->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    StatusBar1->addWidget(sbrDate);
    StatusBar1->addWidget(sbrTime);
    StatusBar1->addWidget(sbrText, 1);
    sbrProgress = named(new QProgressBar, "sbrProgress");
    sbrProgress->setFormat(QStringLiteral("%v of %m"));
    sbrProgress->setMinimumWidth(160);
    sbrProgress->hide();
    StatusBar1->addPermanentWidget(sbrProgress);
    cmdStop = named(new QPushButton(QStringLiteral("Stop")), "cmdStop");
    cmdStop->hide();
    StatusBar1->addPermanentWidget(cmdStop);

    clock_ = new QTimer(this);
    clock_->setInterval(1000);
    connect(clock_, &QTimer::timeout, this, &frmMain::updateClock);
    updateClock();
    clock_->start();
}

void frmMain::connectControls() {
    connect(cmdRun, &QPushButton::clicked, this, &frmMain::cmdRun_Click);
    connect(cmdStop, &QPushButton::clicked, this, &frmMain::cmdStop_Click);
    connect(cmdExit, &QPushButton::clicked, this, &frmMain::cmdExit_Click);
    connect(cmdRescan, &QPushButton::clicked, this, &frmMain::cmdRescan_Click);
    connect(cmdCheck, &QPushButton::clicked, this, &frmMain::cmdCheck_Click);
    connect(cmdUncheck, &QPushButton::clicked, this, &frmMain::cmdUncheck_Click);
    connect(cmdCacheDir, &QPushButton::clicked, this, &frmMain::cmdCacheDir_Click);
    connect(ListView1->header(), &QHeaderView::sectionClicked, this,
            &frmMain::ListView1_ColumnClick);
    connect(Timer1, &QTimer::timeout, this, &frmMain::Timer1_Timer);

    // The option buttons of the selection act on the user's click; start-up applies their
    // enabling rules itself, since the first scan follows anyway.
    connect(optSelectAll, &QRadioButton::clicked, this, &frmMain::optSelectAll_Click);
    connect(optSelectOnly, &QRadioButton::clicked, this, &frmMain::optSelectOnly_Click);
    // The type boxes react to every change of value, the restored ones at start-up included;
    // FormLoading keeps those from showing the reminder.
    connect(chkU, &QCheckBox::stateChanged, this, &frmMain::chkU_Click);
    connect(chkUAX, &QCheckBox::stateChanged, this, &frmMain::chkUAX_Click);
    connect(chkUMX, &QCheckBox::stateChanged, this, &frmMain::chkUMX_Click);
    connect(chkUNR, &QCheckBox::stateChanged, this, &frmMain::chkUNR_Click);
    connect(chkUTX, &QCheckBox::stateChanged, this, &frmMain::chkUTX_Click);
    for (QCheckBox* box : {chkU, chkUAX, chkUMX, chkUNR, chkUTX})
        connect(box, &QCheckBox::clicked, box, [box] { box->setTristate(false); });
    connect(cmdCommitFileTypes, &QPushButton::clicked, this, &frmMain::cmdCommitFileTypes_Click);
    // The folder boxes follow the placement mode however it was set.
    connect(optMoveNorm, &QRadioButton::toggled, this, [this](bool on) {
        if (on) optMoveNorm_Click();
    });
    connect(optMoveDir, &QRadioButton::toggled, this, [this](bool on) {
        if (on) optMoveDir_Click();
    });
    connect(optMoveDir2, &QRadioButton::toggled, this, [this](bool on) {
        if (on) optMoveDir2_Click();
    });
    connect(cmdMoveDir, &QPushButton::clicked, this, &frmMain::cmdMoveDir_Click);
    connect(cmdMoveDir2, &QPushButton::clicked, this, &frmMain::cmdMoveDir2_Click);
    connect(cmdSetPurge, &QPushButton::clicked, this, &frmMain::cmdSetPurge_Click);
    connect(cmdDelCacheTmp, &QPushButton::clicked, this, &frmMain::cmdDelCacheTmp_Click);
    connect(cmdPurgeNow, &QPushButton::clicked, this, &frmMain::cmdPurgeNow_Click);

    connect(cmdNMAdd, &QPushButton::clicked, this, &frmMain::cmdNMAdd_Click);
    connect(txtNMAdd, &QLineEdit::returnPressed, this, &frmMain::cmdNMAdd_Click);
    connect(cmdNMRemove, &QPushButton::clicked, this, &frmMain::cmdNMRemove_Click);
    connect(cmdNMSave, &QPushButton::clicked, this, &frmMain::cmdNMSave_Click);

    connect(mnuFileRun, &QAction::triggered, this, &frmMain::mnuFileRun_Click);
    connect(mnuFileExit, &QAction::triggered, this, &frmMain::mnuFileExit_Click);
    connect(mnuToolsCheckForUpdates, &QAction::triggered, this,
            &frmMain::mnuToolsCheckForUpdates_Click);
    connect(mnuToolsEdit, &QAction::triggered, this, &frmMain::mnuToolsEdit_Click);
    connect(mnuToolsSetUT, &QAction::triggered, this, &frmMain::mnuToolsSetUT_Click);
    connect(mnuToolsView, &QAction::triggered, this, &frmMain::mnuToolsView_Click);
    connect(mnuToolsUndo, &QAction::triggered, this, &frmMain::mnuToolsUndo_Click);
    connect(mnuToolsCheckPackages, &QAction::triggered, this,
            &frmMain::mnuToolsCheckPackages_Click);
    connect(mnuHelpContents, &QAction::triggered, this, &frmMain::mnuHelpContents_Click);
    connect(mnuHelpAbout, &QAction::triggered, this, &frmMain::mnuHelpAbout_Click);
}

}  // namespace qv
