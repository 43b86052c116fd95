#pragma once

#include "firmwareplan.h"

#include <QString>
#include <QtGlobal>

// What can be told about a chosen firmware file before its content is read:
// whether its name fits the board, and whether its size could be sent at all.
namespace FirmwareFile {

// The last component of `path`, extension included: the only part the name
// checks look at (a folder called "main" says nothing about the file in it).
QString fileName(const QString& path);

// The warning for a file whose name does not fit; empty when it fits. All
// checks are case-insensitive substring searches in fileName(path):
//   a main firmware must say "main"       -> "прошивка не основная"
//   a bootloader must say "boot"          -> "прошивка не bootloader"
//   the board code, unless it is empty or "UNKNOWN"
//                                         -> "имя файла не соответствует типу платы: %1"
// Translated in the context "MainWindow".
QString nameProblem(const QString& path, bool mainFirmware, const QString& boardCode);

// No board of the family holds more than the raw method can number: 65536
// blocks of 250 bytes. Whatever the method, no larger image is read at all.
inline constexpr qint64 maxImageBytes = qint64(MaxFirmwareBlocks) * FirmwareBlockSize;

// The refusal of a file by its size alone, so that an empty file or one
// larger than any board takes is turned away before it is read into memory;
// empty when the size is acceptable (the image itself is still planned after
// reading, which may refuse it for what only its content tells).
QString sizeProblem(qint64 size);

// The warning for a path that names a device, FIFO or socket: an
// image is only ever taken from a regular file. Translated in the context
// "MainWindow".
QString notRegularProblem(const QString& path);

} // namespace FirmwareFile
