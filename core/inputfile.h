#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

class QFile;
class QIODevice;

// Opening and reading a file the user named, so that a device, a FIFO or a
// stream without end can neither block the program nor fill its memory.
namespace InputFile {

enum class Opened {
    Yes,
    Failed,     // missing, unreadable, a folder: `*error` says why
    NotRegular, // a device, FIFO or socket where a regular file is required
};

// Opens `path` read-only. The open never waits for a FIFO's writer (a FIFO
// without one then reads as empty). With `regularOnly` anything but a regular
// file, symbolic links followed, is refused before it is opened, so a device
// is never so much as touched.
Opened open(QFile& file, const QString& path, bool regularOnly, QString* error);

// Reads what is left of `device`, at most `limit` bytes. False, with `*error`
// set, when a read fails or there is more than `limit`; `*tooLarge` (when
// given) tells the second case.
bool readAtMost(QIODevice& device, qint64 limit, QByteArray* bytes, QString* error, bool* tooLarge = nullptr);

} // namespace InputFile
