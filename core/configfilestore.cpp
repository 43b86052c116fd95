#include "configfilestore.h"

#include "boardinfo.h"
#include "boardstate.h"

#include <QFile>
#include <QSaveFile>

std::optional<ConfigFile> ConfigFileStore::load(const QString& path, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = file.errorString();
        return std::nullopt;
    }
    // read() of one byte past the limit tells a large pipe or device as well
    // as a large file, without trusting size().
    const QByteArray bytes = file.read(sizeLimit + 1);
    if (file.error() != QFileDevice::NoError) {
        *error = file.errorString();
        return std::nullopt;
    }
    if (bytes.size() > sizeLimit) {
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
