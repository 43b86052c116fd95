#include "firmwarefile.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace FirmwareFile {

QString fileName(const QString& path)
{
    return QFileInfo(path).fileName();
}

QString nameProblem(const QString& path, bool mainFirmware, const QString& boardCode)
{
    const QString name = fileName(path);
    if (mainFirmware && !name.contains(QLatin1String("main"), Qt::CaseInsensitive))
        return QCoreApplication::translate("MainWindow", "прошивка не основная");
    if (!mainFirmware && !name.contains(QLatin1String("boot"), Qt::CaseInsensitive))
        return QCoreApplication::translate("MainWindow", "прошивка не bootloader");
    if (!boardCode.isEmpty() && boardCode != QLatin1String("UNKNOWN")
        && !name.contains(boardCode, Qt::CaseInsensitive))
        return QCoreApplication::translate("MainWindow", "имя файла не соответствует типу платы: %1").arg(boardCode);
    return QString();
}

QString notRegularProblem(const QString& path)
{
    return QCoreApplication::translate("MainWindow", "Файл прошивки должен быть обычным файлом: %1\n").arg(fileName(path));
}

QString sizeProblem(qint64 size)
{
    FirmwarePlan verdict;
    verdict.imageSize = size;
    if (size <= 0) {
        verdict.problem = FirmwareImageProblem::Empty;
    } else if (size > maxImageBytes) {
        // Counted in raw blocks, the measure of the limit. Rounded up without
        // adding first: a size near the top of the range would overflow.
        verdict.blocksNeeded = size / FirmwareBlockSize + (size % FirmwareBlockSize != 0 ? 1 : 0);
        verdict.problem = FirmwareImageProblem::TooManyBlocks;
    }
    return verdict.problemText();
}

} // namespace FirmwareFile
