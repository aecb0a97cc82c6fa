#pragma once
// Small makers of the main window's controls: each named as the code refers to it, with its
// caption and tooltip.

#include <QCheckBox>
#include <QColor>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

#include "widgets/display.h"

namespace qv::controls {

template <class W>
W* named(W* widget, const char* name, const char* tip = nullptr) {
    widget->setObjectName(QLatin1String(name));
    if (tip) widget->setToolTip(QString::fromLatin1(tip));
    return widget;
}

inline QPushButton* button(const char* name, const char* caption, const char* tip = nullptr) {
    return named(new QPushButton(QString::fromLatin1(caption)), name, tip);
}

inline QRadioButton* option(const char* name, const char* caption, const char* tip) {
    return named(new QRadioButton(QString::fromLatin1(caption)), name, tip);
}

inline QCheckBox* check(const char* name, const char* caption, const char* tip) {
    auto* box = named(new QCheckBox(QString::fromLatin1(caption)), name, tip);
    box->setEnabled(false);  // designed: clear and disabled
    return box;
}

inline QLabel* label(const char* name, const char* caption) {
    return named(new QLabel(QString::fromLatin1(caption)), name);
}

inline QLabel* colouredLabel(const char* name, const char* caption, const QColor& colour) {
    QLabel* l = label(name, caption);
    setTextColour(l, colour);
    return l;
}

}  // namespace qv::controls
