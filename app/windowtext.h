#pragma once

#include <QCoreApplication>
#include <QMessageBox>
#include <QString>

// Every text of the window is translated in the window's one context,
// whichever of its panels shows it.
inline QString windowText(const char* text)
{
    return QCoreApplication::translate("MainWindow", text);
}

// An operation's outcome in the window's box: information when it went well,
// a warning otherwise.
inline void showOutcome(QWidget* parent, bool ok, const QString& text)
{
    if (ok)
        QMessageBox::information(parent, windowText("Vantor"), text);
    else
        QMessageBox::warning(parent, windowText("Vantor"), text);
}
