#include "inputfile.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace InputFile {

namespace {

QString systemError(int code)
{
    return QString::fromLocal8Bit(std::strerror(code));
}

} // namespace

Opened open(QFile& file, const QString& path, bool regularOnly, QString* error)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat info {};
    if (::stat(name.constData(), &info) != 0) {
        *error = systemError(errno);
        return Opened::Failed;
    }
    // A folder cannot be read at all, as before; anything else that is not
    // a regular file is turned away unopened, since opening a serial device
    // can already reset what hangs on it.
    if (S_ISDIR(info.st_mode)) {
        *error = systemError(EISDIR);
        return Opened::Failed;
    }
    if (regularOnly && !S_ISREG(info.st_mode))
        return Opened::NotRegular;

    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        *error = systemError(errno);
        return Opened::Failed;
    }
    // The name may have been pointed elsewhere between the two looks.
    if (regularOnly && (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))) {
        ::close(fd);
        return Opened::NotRegular;
    }
    // Reads wait as usual; only the open must not.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        *error = file.errorString();
        return Opened::Failed;
    }
    return Opened::Yes;
}

bool readAtMost(QIODevice& device, qint64 limit, QByteArray* bytes, QString* error, bool* tooLarge)
{
    constexpr qint64 chunk = 64 * 1024;
    if (tooLarge)
        *tooLarge = false;
    bytes->clear();
    // One byte past the limit tells "exactly the limit" from "more".
    for (;;) {
        const qint64 want = qMin(chunk, limit + 1 - bytes->size());
        const int before = bytes->size();
        bytes->resize(before + int(want));
        const qint64 got = device.read(bytes->data() + before, want);
        bytes->resize(before + int(qMax<qint64>(0, got)));
        if (got < 0) {
            *error = device.errorString();
            return false;
        }
        if (bytes->size() > limit) {
            bytes->clear();
            if (tooLarge)
                *tooLarge = true;
            *error = QStringLiteral("more than %1 bytes").arg(limit);
            return false;
        }
        if (got == 0 && (!device.isSequential() || device.atEnd() || !device.waitForReadyRead(-1)))
            return true;
    }
}

} // namespace InputFile
