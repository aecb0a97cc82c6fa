// The controls of the troubleshooter's window: positions in twips as designed, 15 twips to a
// pixel.

#include <QApplication>
#include <QColor>
#include <QFile>
#include <QFont>
#include <QFrame>
#include <QGuiApplication>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QResizeEvent>
#include <QScreen>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStylePainter>
#include <algorithm>
#include <functional>

#include "troubleshooter/frm_main.h"
#include "troubleshooter/maker_contact.h"
#include "widgets/display.h"
#include "widgets/line_list.h"

namespace qv::troubleshooter {

namespace {

constexpr int kTwipsPerPixel = 15;

QRect twips(int left, int top, int width, int height) {
    return {left / kTwipsPerPixel, top / kTwipsPerPixel, width / kTwipsPerPixel,
            height / kTwipsPerPixel};
}

// Dark blue, 0x00C00000 in the BGR form the design uses.
const QColor kDarkBlue(0, 0, 192);

// A button whose caption, too long for its width, is shown shortened in the middle; the
// caption itself stays whole (text(), the mnemonic, the tooltip).
class ElidingButton final : public QPushButton {
  public:
    using QPushButton::QPushButton;

  protected:
    void paintEvent(QPaintEvent*) override {
        QStylePainter painter(this);
        QStyleOptionButton option;
        initStyleOption(&option);
        const int margin = style()->pixelMetric(QStyle::PM_ButtonMargin, &option, this);
        option.text = fontMetrics().elidedText(text(), Qt::ElideMiddle, width() - 2 * margin,
                                               Qt::TextShowMnemonic);
        painter.drawControl(QStyle::CE_PushButton, option);
    }
};

QLabel* makeLabel(QWidget* parent, const char* name, const char* caption, QRect where) {
    auto* label = new QLabel(QString::fromLatin1(caption), parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // A label drawn one line high keeps its caption on that line: where the window's font is
    // wider than the one the design was drawn with, it grows to the right into free space.
    const bool oneLine = where.height() < 2 * label->fontMetrics().height();
    label->setWordWrap(!oneLine);
    if (oneLine) where.setWidth(std::max(where.width(), label->sizeHint().width()));
    label->setGeometry(where);
    setTextColour(label, kDarkBlue);
    return label;
}

// Read-only rather than disabled: the text keeps its normal contrast and can be copied.
QLineEdit* makeTextBox(QWidget* parent, const char* name, QRect where) {
    auto* box = new QLineEdit(parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setGeometry(where);
    box->setReadOnly(true);
    return box;
}

template <class Button = QPushButton>
QPushButton* makeButton(QWidget* parent, const char* name, const char* caption, QRect where) {
    auto* button = new Button(QString::fromLatin1(caption), parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setGeometry(where);
    button->setAutoDefault(false);
    return button;
}

// Entries are shown whole, with a horizontal scroll bar when one is wider than the list; every
// row is sized like the longest entry, so a large cache is laid out without measuring each.
QListWidget* makeList(QWidget* parent, const char* name, QRect where) {
    auto* list = new QListWidget(parent);
    list->setObjectName(QString::fromLatin1(name));
    list->setGeometry(where);
    list->setSortingEnabled(false);
    list->setUniformItemSizes(true);
    list->setTextElideMode(Qt::ElideNone);
    list->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    list->setItemDelegate(new WidestRowDelegate(list));
    return list;
}

// One pixel of an etched rule: a line from (x1, y) to (x2, y) in twips.
void makeLine(QWidget* parent, const QString& name, int x1, int y, int x2, const QColor& color) {
    auto* line = new QFrame(parent);
    line->setObjectName(name);
    line->setFrameShape(QFrame::NoFrame);
    line->setGeometry(x1 / kTwipsPerPixel, y / kTwipsPerPixel, (x2 - x1) / kTwipsPerPixel + 1, 1);
    line->setAutoFillBackground(true);
    QPalette p = line->palette();
    p.setColor(QPalette::Window, color);
    line->setPalette(p);
}

QFont smallArial() {
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(6.75);
    return font;
}

// The program's icon: a dark blue disc with a white question mark, drawn at the sizes title
// bars, task lists and scaled screens ask for.
QIcon programIcon() {
    QIcon icon;
    for (const int size : {16, 24, 32, 48, 64}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(kDarkBlue);
        painter.drawEllipse(QRectF(0.5, 0.5, size - 1, size - 1));
        painter.setPen(Qt::white);
        QFont font(QStringLiteral("Arial"));
        font.setBold(true);
        font.setPixelSize(size * 11 / 16);
        painter.setFont(font);
        painter.drawText(QRect(0, 0, size, size), Qt::AlignCenter, QStringLiteral("?"));
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

}  // namespace

void frmMain::showReportTarget() {
    // The path as the user knows it: "~/CacheInfo.txt" under the home folder.
    QString target = displayText(reportPathShown());
    target.replace(QLatin1Char('&'), QStringLiteral("&&"));  // a literal '&', not a mnemonic
    cmdSave->setText(QStringLiteral("&Save to ") + target);
    cmdSave->setToolTip(QStringLiteral("Save to ") + displayText(reportPath_));
}

void frmMain::buildControls() {
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QString::fromLatin1(kProgramTitle));
    // The window, and the pickers and boxes that come before it, carry the icon.
    QApplication::setWindowIcon(programIcon());
    setWindowIcon(programIcon());
    // A sizable window with a close box and neither minimize nor maximize.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    resize(6015 / kTwipsPerPixel, 7110 / kTwipsPerPixel);
    // The positions are laid out for an 8-point window font.
    QFont font = QApplication::font();
    font.setPointSizeF(8);
    setFont(font);

    Label1 = makeLabel(this, "Label1", "UT Registry :", twips(120, 120, 1095, 255));
    txtUTRegDir = makeTextBox(this, "txtUTRegDir", twips(1560, 120, 4335, 285));
    cmdSetUT = makeButton(this, "cmdSetUT", "S&et UT Registry", twips(1560, 480, 2295, 255));
    cmdSetUT->setFont(smallArial());
    cmdSetUT->setToolTip(
        QStringLiteral("Use this to set the root UT dir if u installed or moved UT manually"));

    Label2 = makeLabel(this, "Label2", "Quorvel Registry :", twips(120, 1080, 1335, 495));
    txtCacheRegDir = makeTextBox(this, "txtCacheRegDir", twips(1560, 1080, 4335, 285));
    cmdReset =
        makeButton(this, "cmdReset", "&Clear Quorvel Registry", twips(1560, 1440, 2295, 255));
    cmdReset->setFont(smallArial());
    cmdReset->setToolTip(
        QStringLiteral("Clears the registry setting Quorvel uses for the directory"));

    // Etched rules: a shadow line over a light one, in the palette's tones (white and black
    // were a bright bar on a dark palette).
    const QColor shadow = palette().color(QPalette::Dark), light = palette().color(QPalette::Light);
    makeLine(this, QStringLiteral("Line1_0"), 0, 1875, 6000, shadow);
    makeLine(this, QStringLiteral("Line2_0"), 0, 1890, 6030, light);

    cmdViewLog = makeButton(this, "cmdViewLog", "&View Quorvel LOG", twips(120, 2040, 2175, 375));

    makeLine(this, QStringLiteral("Line1_1"), -45, 2580, 6015, shadow);
    makeLine(this, QStringLiteral("Line2_1"), -45, 2595, 6015, light);

    Label4 = makeLabel(this, "Label4", "Cache.INI Contents :", twips(120, 2760, 2055, 255));
    lstCacheINI = makeList(this, "lstCacheINI", twips(120, 3000, 5775, 1425));
    Label3 = makeLabel(this, "Label3", "Cache Directory Listing :", twips(120, 4680, 1935, 255));
    lstCacheDir = makeList(this, "lstCacheDir", twips(120, 4920, 5775, 1425));
    lblSaved = new QLabel(this);
    lblSaved->setObjectName(QStringLiteral("lblSaved"));
    lblSaved->setGeometry(twips(120, 6360, 5775, 225));

    cmdSave = makeButton<ElidingButton>(this, "cmdSave", "", twips(120, 6600, 2175, 375));
    showReportTarget();
    cmdMail =
        makeButton(this, "cmdMail", "** Save the file FIRST **", twips(2400, 6600, 2175, 375));
    cmdMail->setEnabled(false);
    cmdExit = makeButton(this, "cmdExit", "E&xit", twips(4680, 6600, 1215, 375));

    // Tab order as designed; labels take no focus and are passed over.
    QWidget* order[] = {cmdSave, txtUTRegDir, txtCacheRegDir, lstCacheINI, lstCacheDir,
                        cmdExit, cmdMail,     cmdReset,       cmdSetUT,    cmdViewLog};
    for (std::size_t i = 1; i < std::size(order); ++i) setTabOrder(order[i - 1], order[i]);
    // Focus starts on the first of the order, Save, never on a button that changes the registry.
    cmdSave->setFocus();

    connect(cmdViewLog, &QPushButton::clicked, this, &frmMain::cmdViewLog_Click);
    connect(cmdSetUT, &QPushButton::clicked, this, &frmMain::cmdSetUT_Click);
    connect(cmdReset, &QPushButton::clicked, this, &frmMain::cmdReset_Click);
    connect(cmdSave, &QPushButton::clicked, this, &frmMain::cmdSave_Click);
    connect(cmdMail, &QPushButton::clicked, this, &frmMain::cmdMail_Click);
    connect(cmdExit, &QPushButton::clicked, this, &frmMain::cmdExit_Click);

    designed_ = size();
    const auto follow = [this](QWidget* w, int how) { placed_.push_back({w, w->geometry(), how}); };
    for (QWidget* w : {static_cast<QWidget*>(txtUTRegDir), static_cast<QWidget*>(txtCacheRegDir)})
        follow(w, Wider);
    for (const char* name : {"Line1_0", "Line2_0", "Line1_1", "Line2_1"})
        follow(findChild<QWidget*>(QLatin1String(name)), Wider);
    follow(lstCacheINI, Wider | HalfTaller);
    follow(Label3, HalfLower);
    follow(lstCacheDir, Wider | HalfLower | HalfTaller);
    follow(lblSaved, Wider | Lower);
    for (QWidget* w : {cmdSave, cmdMail}) follow(w, Lower);
    follow(cmdExit, Lower | ToRight);
    fitScreen();
}

void frmMain::fitScreen() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return;
    // The window manager's title bar and frame come on top of the window's own size.
    const int titleBar = style()->pixelMetric(QStyle::PM_TitleBarHeight) + 16;
    const QRect area = screen->availableGeometry();
    resize(size().boundedTo(area.size() - QSize(16, titleBar)));
    // Centred on the screen when it opens.
    move(area.center() - rect().center());
}

void frmMain::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (designed_.isEmpty()) return;
    const int dx = width() - designed_.width(), dy = height() - designed_.height();
    const int half = dy / 2;
    for (const Placed& p : placed_) {
        QRect r = p.designed;
        if (p.follow & Wider) r.setWidth(std::max(40, r.width() + dx));
        if (p.follow & ToRight) r.translate(dx, 0);
        if (p.follow & HalfLower) r.translate(0, half);
        if (p.follow & Lower) r.translate(0, dy);
        if (p.follow & HalfTaller)
            r.setHeight(std::max(48, r.height() + ((p.follow & HalfLower) ? dy - half : half)));
        p.widget->setGeometry(r);
    }
}

}  // namespace qv::troubleshooter
