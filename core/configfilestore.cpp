#include "configfilestore.h"

#include "boardinfo.h"
#include "boardstate.h"
#include "inputfile.h"

#include <QFile>
#include <QSaveFile>

std::optional<ConfigFile> ConfigFileStore::load(const QString& path, QString* error)
{
    // The window's file dialog can pick a FIFO or a device: neither may block
    // the open nor stream without end into memory.
    QFile file(path);
    if (InputFile::open(file, path, false, error) != InputFile::Opened::Yes)
        return std::nullopt;
    QByteArray bytes;
    bool tooLarge = false;
    if (!InputFile::readAtMost(file, sizeLimit, &bytes, error, &tooLarge)) {
        if (tooLarge)
            *error = QStringLiteral("larger than %1 MiB, not a saved board configuration").arg(sizeLimit / (1024 * 1024));
        return std::nullopt;
    }
    return ConfigFile::fromBytes(bytes, error);
}

bool ConfigFileStore::save(const QString& path, const ConfigFile& config, QString* error)
{
    const QByteArray bytes = config.toBytes();
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        *error = file.errorString();
        return false;
    }
    return true;
}

QString ConfigFileStore::defaultName(const BoardState& board, int deviceAddress, const QDate& date)
{
    const QString type = board.boardTypeKnown ? BoardInfo::boardName(board.boardType) : QStringLiteral("UNKNOWN");
    return QStringLiteral("%1_addr%2_%3.json").arg(type).arg(deviceAddress).arg(date.toString(Qt::ISODate));
}
