#pragma once

#include <QColor>

// Colours as the database stores them: a 32-bit RGB value with red in the
// lowest byte (0x00BBGGRR). Only a value above 0 is a colour.
inline bool isStoredColor(qint64 value) {
    return value > 0;
}

inline QColor colorFromStored(qint64 value) {
    return QColor(int(value & 0xFF), int((value >> 8) & 0xFF), int((value >> 16) & 0xFF));
}

// Black gives 0, which reads back as no colour.
inline int storedFromColor(const QColor& color) {
    return color.red() | (color.green() << 8) | (color.blue() << 16);
}
