#include "boardinfo.h"

#include <QCoreApplication>

namespace BoardInfo {

QString boardName(quint16 boardType)
{
    switch (boardType) {
    case 1: return QStringLiteral("VRELL_A");
    case 2: return QStringLiteral("VRELL_B");
    case 3: return QStringLiteral("VRELL_C");
    case 4: return QStringLiteral("VRELL_D");
    default: return QStringLiteral("UNKNOWN");
    }
}

QString boardCode(bool known, quint16 boardType)
{
    return known ? boardName(boardType) : QString();
}

int diChannelCount(bool known, quint16 boardType)
{
    if (!known)
        return 16;
    switch (boardType) {
    case 3: return 0;
    case 4: return 32;
    default: return 16;
    }
}

int doChannelCount(bool known, quint16 boardType)
{
    if (!known)
        return 9;
    switch (boardType) {
    case 2:
    case 3: return 8;
    case 4: return 0;
    default: return 9;
    }
}

bool hasDiTable(quint16 boardType)
{
    return boardType != 3;
}

bool hasDoTable(quint16 boardType)
{
    return boardType != 4;
}

bool hasNinthDo(quint16 boardType)
{
    return boardType != 2 && boardType != 3;
}

bool debounceNeedsFirmware5(quint16 boardType)
{
    return boardType == 1;
}

bool sameType(bool knownA, quint16 typeA, bool knownB, quint16 typeB)
{
    return knownA == knownB && typeA == typeB;
}

int diPairLimit(bool known, quint16 boardType)
{
    if (!known)
        return 15;
    switch (boardType) {
    case 3: return 255;
    case 4: return 31;
    default: return 15;
    }
}

QString modeText(quint8 mode)
{
    switch (mode) {
    case 0: return QCoreApplication::translate("MainWindow", "Основная прошивка");
    case 1: return QCoreApplication::translate("MainWindow", "Загрузчик");
    default: return QCoreApplication::translate("MainWindow", "Неизвестно (%1)").arg(mode);
    }
}

} // namespace BoardInfo
