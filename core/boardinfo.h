#pragma once

#include <QString>
#include <QtGlobal>

// What the board type (1 to 4, read by command 0x7D) decides. Every function
// takes `known` so that callers cannot forget the rules for an unread type.
namespace BoardInfo {

inline constexpr int MaxDiChannels = 32;
inline constexpr int MaxDoChannels = 9;

// "VRELL_A" to "VRELL_D" for types 1 to 4, "UNKNOWN" for any other value.
QString boardName(quint16 boardType);

// The board code the firmware file name must contain: the board name when the
// type is known, an empty text otherwise.
QString boardCode(bool known, quint16 boardType);

// 16 while unknown; 0 for type 3, 32 for type 4, 16 for any other type.
int diChannelCount(bool known, quint16 boardType);

// 9 while unknown; 9, 8, 8, 0 for types 1 to 4; 9 for any other type.
int doChannelCount(bool known, quint16 boardType);

// What a board of this (known) type is built with: type 3 has no DI table,
// type 4 no DO table, types 2 and 3 no ninth output. Every board type rule of
// the program is asked here.
bool hasDiTable(quint16 boardType);
bool hasDoTable(quint16 boardType);
bool hasNinthDo(quint16 boardType);
// Type 1 gained its debounce times with firmware 0.0.5; the other types with a
// DI table have them from the start.
bool debounceNeedsFirmware5(quint16 boardType);

// Whether two boards (or a board and a saved file) are of one type as far as
// each was read: both types known and equal, or both unknown.
bool sameType(bool knownA, quint16 typeA, bool knownB, quint16 typeB);

// The first DI row that may not start a double-point pair: 15 while unknown and
// for types other than 3 and 4, 31 for type 4, 255 for type 3.
int diPairLimit(bool known, quint16 boardType);

// Text of the running mode byte of command 0x64: "Основная прошивка" (0),
// "Загрузчик" (1), "Неизвестно (%1)" otherwise. Translated in context "MainWindow".
QString modeText(quint8 mode);

} // namespace BoardInfo
