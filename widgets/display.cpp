#include "widgets/display.h"

#include <QWidget>
#include <cmath>

namespace qv {

namespace {

// Windows-1252 for 0x80 to 0x9F; its five unassigned bytes keep their C1 code points.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char16_t cp1252(unsigned char byte) {
    return byte >= 0x80 && byte < 0xA0 ? kCp1252High[byte - 0x80] : char16_t{byte};
}

// The length of the valid UTF-8 sequence starting at `i`, 0 when there is none.
std::size_t utf8Length(std::string_view s, std::size_t i, char32_t* code) {
    const auto b = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char lead = b(i);
    std::size_t n = 0;
    char32_t c = 0;
    char32_t min = 0;
    if (lead < 0x80) {
        *code = lead;
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        n = 2, c = lead & 0x1F, min = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        n = 3, c = lead & 0x0F, min = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        n = 4, c = lead & 0x07, min = 0x10000;
    } else {
        return 0;
    }
    if (i + n > s.size()) return 0;
    for (std::size_t k = 1; k < n; ++k) {
        if ((b(i + k) & 0xC0) != 0x80) return 0;
        c = (c << 6) | (b(i + k) & 0x3F);
    }
    if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return 0;
    *code = c;
    return n;
}

double luminance(const QColor& colour) {
    const auto channel = [](double v) {
        return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(colour.redF()) + 0.7152 * channel(colour.greenF()) +
           0.0722 * channel(colour.blueF());
}

}  // namespace

QString displayText(std::string_view bytes) {
    QString out;
    out.reserve(static_cast<qsizetype>(bytes.size()));
    for (std::size_t i = 0; i < bytes.size();) {
        char32_t code = 0;
        if (const std::size_t n = utf8Length(bytes, i, &code)) {
            // A control byte in a name a server chose shows as its picture (ESC as U+241B), not
            // as nothing; line breaks and tabs of the program's own texts stay what they are.
            if ((code < 0x20 && code != '\n' && code != '\r' && code != '\t') || code == 0x7F)
                code = code == 0x7F ? char32_t{0x2421} : char32_t{0x2400} + code;
            out.append(QString::fromUcs4(&code, 1));
            i += n;
        } else {
            out.append(QChar(cp1252(static_cast<unsigned char>(bytes[i]))));
            ++i;
        }
    }
    return out;
}

QString fieldText(std::string_view bytes, int most) {
    QString out = displayText(bytes);
    for (QChar& c : out) {
        const char16_t u = c.unicode();
        if (u == '\n' || u == '\r' || u == '\t')
            c = QChar(char16_t{0x2400} + u);
        else if (u >= 0x80 && u < 0xA0)
            c = QChar(char16_t{0xFFFD});
    }
    if (out.size() > most) {
        qsizetype cut = most - 1;
        if (out.at(cut - 1).isHighSurrogate()) --cut;  // never half a character
        out = out.left(cut) + QChar(char16_t{0x2026});
    }
    return out;
}

double contrastRatio(const QColor& a, const QColor& b) {
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor readableColour(const QColor& colour, const QColor& background) {
    if (background.lightnessF() >= 0.5) return colour;
    // Same hue and saturation, lighter step by step until it reads well.
    const QColor hsl = colour.toHsl();
    for (int lightness = std::max(hsl.lightness(), 0); lightness <= 255; lightness += 4) {
        const QColor tone = QColor::fromHsl(hsl.hslHue(), hsl.hslSaturation(), lightness);
        if (contrastRatio(tone, background) >= 4.5) return tone;
    }
    return QColor::fromHsl(hsl.hslHue(), hsl.hslSaturation(), 255);
}

void setTextColour(QWidget* widget, const QColor& colour, QPalette::ColorRole text,
                   QPalette::ColorRole background) {
    QPalette palette = widget->palette();
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        // Styles draw tab pages, group boxes and button faces lighter than their palette colour
        // (Fusion's gradients): on a dark palette the tone must read on the lightest of them.
        QColor behind = palette.color(group, background);
        if (behind.lightnessF() < 0.5)
            for (const QColor& panel : {palette.color(group, QPalette::Button), behind.lighter(140),
                                        palette.color(group, QPalette::Button).lighter(140)})
                if (panel.lightnessF() < 0.5 && luminance(panel) > luminance(behind))
                    behind = panel;
        palette.setColor(group, text, readableColour(colour, behind));
    }
    widget->setPalette(palette);
}

void setWarningColours(QWidget* widget, const QColor& red) {
    QPalette palette = widget->palette();
    if (palette.color(QPalette::Window).lightnessF() >= 0.5) {
        setTextColour(widget, red);
        return;
    }
    const QColor ground = QColor::fromHsl(red.toHsl().hslHue(), 190, 85);
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        palette.setColor(group, QPalette::Window, ground);
        palette.setColor(group, QPalette::WindowText, Qt::white);
    }
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

}  // namespace qv
