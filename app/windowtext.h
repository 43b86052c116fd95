#pragma once

#include <QCoreApplication>
#include <QString>

// Every text of the window is translated in the window's one context,
// whichever of its panels shows it.
inline QString windowText(const char* text)
{
    return QCoreApplication::translate("MainWindow", text);
}
