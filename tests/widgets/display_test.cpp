#include "widgets/display.h"

#include <gtest/gtest.h>

#include <QLabel>

#include "tests/widgets/qt_app.h"

namespace qv {
namespace {

// Guards: invalid UTF-8 shown as replacement marks (two names alike), valid UTF-8 decoded as
// Windows-1252, a byte lost or doubled around a bad sequence, a server's escape sequence invisible.
TEST(Display, NamesShowAsUtf8OrWindows1252) {
    const std::pair<std::string, std::u16string> cases[] = {
        {"DM-Caf\xc3\xa9.unr", u"DM-Caf\u00e9.unr"},
        {"DM-Caf\xe9.unr", u"DM-Caf\u00e9.unr"},
        {"DM-Caf\xe8.unr", u"DM-Caf\u00e8.unr"},
        {"\x80\x9f\x81 \xc3(\xf0\x9f\x98\x80", u"\u20ac\u0178\u0081 \u00c3(\U0001F600"},
        {"\xed\xa0\x80", u"\u00ed\u00a0\u20ac"},  // an encoded surrogate is not UTF-8
        {"\xe2\x82", u"\u00e2\u201a"},            // a sequence cut at the end
        {"\x1b[31m\x07\x7f\r\n\t", u"\u241b[31m\u2407\u2421\r\n\t"},  // controls show
    };
    for (const auto& [bytes, shown] : cases)
        EXPECT_EQ(displayText(bytes), QString::fromStdU16String(shown)) << bytes;
}

// Guards: the fixed colours unreadable on a dark palette, or changed on a light one.
TEST(Display, ColoursKeptOnLightPalettesLighterOnDarkOnes) {
    test::ensureQtApp();
    const QColor colours[] = {QColor(0, 0, 128), Qt::blue,          QColor(0, 128, 0),
                              Qt::red,           QColor(128, 0, 0), QColor(0, 0, 192)};
    const QColor backgrounds[] = {QColor(239, 239, 239), Qt::white, QColor(53, 53, 53),
                                  QColor(30, 30, 30),    Qt::black, QColor(60, 63, 65)};
    for (const QColor& background : backgrounds) {
        QPalette palette;
        palette.setColor(QPalette::Window, background);
        palette.setColor(QPalette::Button, background.lighter(130));  // a tab page's panel
        QLabel label;
        label.setPalette(palette);
        for (const QColor& colour : colours) {
            setTextColour(&label, colour);
            const QColor shown = label.palette().color(QPalette::WindowText);
            if (background.lightness() >= 128) {
                EXPECT_EQ(shown, colour) << background.name().toStdString();
                continue;
            }
            for (const QColor& behind : {background, palette.color(QPalette::Button).lighter(140)})
                EXPECT_GE(contrastRatio(shown, behind), 4.5) << colour.name().toStdString();
            EXPECT_EQ(shown.hslHue(), colour.hslHue()) << colour.name().toStdString();
        }
    }
    // A warning stays red on a dark palette (not a pale pink) and reads: white on a deep red.
    for (const QColor& background : backgrounds) {
        QPalette palette;
        palette.setColor(QPalette::Window, background);
        QLabel warning;
        warning.setPalette(palette);
        setWarningColours(&warning, Qt::red);
        const QPalette shown = warning.palette();
        const QColor text = shown.color(QPalette::WindowText);
        if (background.lightness() >= 128) {
            EXPECT_EQ(text, QColor(Qt::red)) << background.name().toStdString();
            continue;
        }
        const QColor ground = shown.color(QPalette::Window);
        EXPECT_TRUE(warning.autoFillBackground());
        EXPECT_GE(contrastRatio(text, ground), 4.5) << background.name().toStdString();
        EXPECT_EQ(ground.hslHue(), 0);
        EXPECT_GE(ground.hslSaturationF(), 0.6);
    }
    EXPECT_NEAR(contrastRatio(Qt::black, Qt::white), 21.0, 0.01);
    EXPECT_NEAR(contrastRatio(QColor(0x77, 0x77, 0x77), Qt::white), 4.48, 0.01);
}

}  // namespace
}  // namespace qv
