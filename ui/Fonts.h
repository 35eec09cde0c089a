// The program's fonts: the platform's sans serif at the pixel heights of the
// window designs. Main thread.
#pragma once

#include <QApplication>
#include <QFont>

inline QFont SansFont(int pixelSize, bool bold = false)
{
    QFont font = QApplication::font();
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}
