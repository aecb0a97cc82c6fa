#include "app/frm_about.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QMouseEvent>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QStandardPaths>
#include <QUrl>
#include <QVBoxLayout>

#include "app/maker.h"
#include "platform/paths.h"
#include "settings/cls_registry.h"
#include "settings/program_settings.h"
#include "settings/registry_store.h"
#include "widgets/display.h"
#include "widgets/qt_dialogs.h"

namespace qv {

const char* const kAboutDescription =
    "This utility will clean out your Cache folder and Cache.INI file."
    " All files will be moved to their specific directories"
    " or where you specify.\r\n\r\n"
    " A LOG file is created in the directory this application resides.\r\n\r\n"
    " Please see the main Help file for full documentation and all capabilities.";

namespace {

QPointer<frmAbout>& theAboutWindow() {
    static QPointer<frmAbout> window;
    return window;
}

// One string value of the registry store. True when the value exists; a value of another
// type than REG_SZ leaves `value` as it was.
bool GetKeyValue(const std::string& keyName, const std::string& valueName, std::string& value) {
    auto found = openRegistryStore()->getValue(HKEY_LOCAL_MACHINE_ROOT, keyName, valueName);
    if (!found.ok() || !found.value) {
        value.clear();
        return false;
    }
    if (found.value->type == REG_SZ_TYPE) {
        std::string text = found.value->data;
        if (!text.empty() && text.back() == '\0') text.pop_back();
        value = text;
    }
    return true;
}

// Starts a program file on its own, without waiting; false when it is no file or cannot run.
bool startProgram(const QString& program) {
    if (!QFileInfo(program).isFile()) return false;
    return QProcess::startDetached(program, {});
}

QLabel* makeLabel(const QString& text, const char* name, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    return label;
}

void makeLink(QLabel* label, bool underline) {
    setTextColour(label, Qt::blue);
    label->setCursor(Qt::PointingHandCursor);
    QFont font = label->font();
    font.setUnderline(underline);
    label->setFont(font);
}

}  // namespace

frmAbout::frmAbout(const QString& programFolder, QWidget* owner)
    : QDialog(owner), programFolder_(programFolder) {
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("About ") + QString::fromLatin1(kProgramTitle));
    // A fixed-size dialog: a close button, no maximise or minimise button.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);

    picIcon = makeLabel(QString(), "picIcon", this);
    QIcon icon(programFolder + QLatin1Char('/') + QString::fromLatin1(kIconFile));  // Qt path
    if (icon.isNull()) icon = QApplication::windowIcon();
    if (!icon.isNull()) picIcon->setPixmap(icon.pixmap(48, 48));
    picIcon->setFixedSize(48, 48);

    lblTitle = makeLabel(QString::fromLatin1(kProgramTitle), "lblTitle", this);
    QFont titleFont = lblTitle->font();
    titleFont.setBold(true);
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.5);
    lblTitle->setFont(titleFont);
    lblVersion = makeLabel(QStringLiteral("Version %1.%2").arg(kVersionMajor).arg(kVersionMinor),
                           "lblVersion", this);
    lblDescription = makeLabel(QString::fromLatin1(kAboutDescription).replace("\r\n", "\n"),
                               "lblDescription", this);
    lblDescription->setWordWrap(true);
    lblDescription->setFixedWidth(340);
    // A fixed-size dialog does not ask a wrapped label for its height: give it the height.
    lblDescription->setFixedHeight(lblDescription->heightForWidth(340));

    Label1 = makeLabel(QStringLiteral("Email me with problems/comments: "), "Label1", this);
    lblEmail = makeLabel(QString::fromLatin1(kSupportEmail), "lblEmail", this);
    makeLink(lblEmail, false);
    Label2 = makeLabel(QStringLiteral("Main website:"), "Label2", this);
    lblWebsite = makeLabel(QString::fromLatin1(kWebsite), "lblWebsite", this);
    makeLink(lblWebsite, true);
    lblEmail->installEventFilter(this);
    lblWebsite->installEventFilter(this);

    cmdOK = new QPushButton(QStringLiteral("OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setDefault(true);  // Enter; Escape closes the dialog the same way
    cmdSysInfo = new QPushButton(QStringLiteral("&System Info..."), this);
    cmdSysInfo->setObjectName(QStringLiteral("cmdSysInfo"));
    cmdSysInfo->setAutoDefault(false);
    connect(cmdOK, &QPushButton::clicked, this, &frmAbout::cmdOK_Click);
    connect(cmdSysInfo, &QPushButton::clicked, this, &frmAbout::cmdSysInfo_Click);

    layOut(false);
    // On a narrow screen (a large scale or font) the window is laid out narrower, so that all
    // of it, its buttons included, stays on the screen.
    const QScreen* screen = owner ? owner->screen() : QGuiApplication::primaryScreen();
    if (screen && layout()->sizeHint().width() > screen->availableGeometry().width() - 16) {
        delete layout();
        layOut(true);
    }
}

// The icon beside the texts, the buttons at the right; narrow: each address under its caption
// and the buttons under the texts.
void frmAbout::layOut(bool narrow) {
    auto* text = new QVBoxLayout;
    text->addWidget(lblTitle);
    text->addWidget(lblVersion);
    text->addSpacing(8);
    text->addWidget(lblDescription);
    text->addSpacing(8);
    auto* links = new QGridLayout;
    links->addWidget(Label1, 0, 0);
    links->addWidget(lblEmail, narrow ? 1 : 0, narrow ? 0 : 1);
    links->addWidget(Label2, narrow ? 2 : 1, 0);
    links->addWidget(lblWebsite, narrow ? 3 : 1, narrow ? 0 : 1);
    links->setColumnStretch(2, 1);
    text->addLayout(links);

    QBoxLayout* buttons = narrow ? static_cast<QBoxLayout*>(new QHBoxLayout) : new QVBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdSysInfo);

    auto* top = new QHBoxLayout(this);
    top->addWidget(picIcon, 0, Qt::AlignTop);
    top->addLayout(text, 1);
    if (narrow)
        text->addLayout(buttons);
    else
        top->addLayout(buttons);
    top->setSizeConstraint(QLayout::SetFixedSize);  // a fixed-size dialog
}

frmAbout::~frmAbout() = default;

frmAbout* frmAbout::showAbout(const QString& programFolder, QWidget* owner) {
    QPointer<frmAbout>& window = theAboutWindow();
    if (!window) {
        window = new frmAbout(programFolder, owner);
        window->setAttribute(Qt::WA_DeleteOnClose);
    }
    window->show();
    window->raise();
    window->activateWindow();
    return window;
}

frmAbout* frmAbout::openWindow() {
    return theAboutWindow().data();
}

QStringList frmAbout::sysInfoPrograms() {
    return {QStringLiteral("hardinfo2"),
            QStringLiteral("hardinfo"),
            QStringLiteral("kinfocenter"),
            QStringLiteral("lshw-gtk"),
            QStringLiteral("gnome-system-monitor"),
            QStringLiteral("mate-system-monitor"),
            QStringLiteral("xfce4-taskmanager")};
}

QString frmAbout::StartSysInfo() {
    std::string value;
    if (GetKeyValue("SOFTWARE\\Microsoft\\Shared Tools\\MSINFO", "PATH", value) && !value.empty()) {
        QString program = QFile::decodeName(toNativeSeparators(value).c_str());
        if (startProgram(program)) return program;
    }
    value.clear();
    if (GetKeyValue("SOFTWARE\\Microsoft\\Shared Tools Location", "MSINFO", value) &&
        !value.empty()) {
        QString program =
            QFile::decodeName(toNativeSeparators(joinPath(value, "MSINFO32.EXE")).c_str());
        if (startProgram(program)) return program;
    }
    for (const QString& name : sysInfoPrograms()) {
        QString program = QStandardPaths::findExecutable(name);
        if (!program.isEmpty() && startProgram(program)) return program;
    }
    QtDialogs(this, kProgramTitle).message("", "System Information Is Unavailable At This Time");
    return {};
}

void frmAbout::cmdOK_Click() {
    close();
}

void frmAbout::cmdSysInfo_Click() {
    StartSysInfo();
}

// A link that no program on the desktop could open is said, not silently dropped.
void frmAbout::lblEmail_Click() {
    if (!QDesktopServices::openUrl(
            QUrl(QStringLiteral("mailto:") + QString::fromLatin1(kSupportEmail) +
                 QStringLiteral("?subject=") + QString::fromLatin1(kSupportMailSubject))))
        QtDialogs(this, kProgramTitle)
            .message("", std::string("No mail program could be started. The address is ") +
                             kSupportEmail + ".");
}

void frmAbout::lblWebsite_Click() {
    if (!QDesktopServices::openUrl(QUrl(QString::fromLatin1(kWebsite))))
        QtDialogs(this, kProgramTitle)
            .message("", std::string("No web browser could be started to open ") + kWebsite + ".");
}

bool frmAbout::Form_Click() {
    QString wav = programFolder_ + QStringLiteral("/e.wav");  // Qt path
    if (!QFileInfo(wav).isFile()) {
        QApplication::beep();
        return false;
    }
    if (!sound_) sound_ = std::make_unique<EventSound>();
    if (!sound_->play(QFile::encodeName(wav).toStdString(), "About Quorvel")) QApplication::beep();
    return true;
}

bool frmAbout::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        if (watched == lblEmail) {
            lblEmail_Click();
            return true;
        }
        if (watched == lblWebsite) {
            lblWebsite_Click();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void frmAbout::mousePressEvent(QMouseEvent* event) {
    // Only the background itself: presses on labels also arrive here once they pass them on.
    if (event->button() == Qt::LeftButton && !childAt(event->position().toPoint())) Form_Click();
    QDialog::mousePressEvent(event);
}

}  // namespace qv
