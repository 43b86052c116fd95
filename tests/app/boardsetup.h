#pragma once

// The window's parts found the way a test reaches them, and the board its
// session works on.

#include "boardidentity.h"

#include <QWidget>

// A panel, the session or any other part of the window, by its type.
template <typename T>
T* partOf(QWidget& window)
{
    return window.findChild<T*>();
}
