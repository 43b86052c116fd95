#pragma once

#include "boardstate.h"

#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class Connector;

// The identity readout made on connect: firmware version (0x78) and status
// (0x64) always, board version (0x7D) only from versions that know it, and the
// error code (0x79). Each value keeps the text the window's label shows for
// it, so the window's labels and the command-line tool's lines are one text.
// Each read is also offered on its own: the connect sequence interleaves them
// with the configuration reads, and a flash reads the status or the code again.
class BoardReadout
{
public:
    // The values, in the order of the window's labels.
    enum class Field { BoardVersion, FirmwareVersion, Status, BootloaderVersion, ErrorCode };
    enum class Outcome {
        NotAsked, // "-"
        Read,     // a well-formed reply
        Empty,    // well-formed, but the version text trimmed to nothing ("Не определена")
        NoReply,  // written, nothing came back ("Нет ответа")
        Failed,   // not written, or a malformed reply ("Ошибка")
    };

    // Called with "Чтение..." before each request and with the value's text
    // once it is known, so a label can follow the readout as it goes.
    using FieldHook = std::function<void(Field field, const QString& text)>;

    explicit BoardReadout(Connector* link = nullptr);

    void setLink(Connector* link) { this->link = link; }
    void setFieldHook(const FieldHook& hook) { fieldHook = hook; }

    // Forgets the board and every value, then reads firmware version and
    // status, and the board version when it may be asked; with
    // `withErrorCode` the error code as well. Returns usable().
    bool run(bool withErrorCode);

    // The steps of run(), for a sequence of its own. begin() forgets
    // everything; each read returns what the window's member of the same
    // name returns and, without a link, shows "-".
    void begin();
    bool readFirmwareVersion(); // any reply bytes came
    bool readDeviceStatus();    // a well-formed status came (the mode is known)
    bool readBoardVersion();    // any reply bytes came
    bool readErrorCode();       // a code was parsed
    // The board version is not asked (the versions are too old): "-".
    void skipBoardVersion();

    // The board answered the firmware version and sent a well-formed status:
    // the window keeps such a link, and so do the operations here.
    bool usable() const { return firmwareAnswered && board.modeKnown; }
    // Every value that was asked came back well-formed.
    bool complete() const;
    // A request of the readout went unanswered or could not be sent (as
    // opposed to answered wrongly).
    bool silent() const { return anySilent; }
    // Why the readout is not usable: the window's "Устройство не ответило\n".
    static QString silentBoardText();

    const BoardState& state() const { return board; }
    // The link went away: nothing is known of the board any more. The texts
    // stay, as the labels keep theirs until they are reset.
    void forgetBoard() { board.clear(); }

    QString text(Field field) const;
    Outcome outcome(Field field) const;
    std::optional<qint32> errorCode() const { return code; }

    // "Версия платы: VRELL_A" and so on, in the window's order and words.
    QStringList labelLines() const;
    // The same as one object for scripts: null where nothing valid came back.
    QJsonObject toJson() const;

    // The window's running mode text ("Основная прошивка", "Загрузчик", "Неизвестно (7)").
    QString modeText() const { return text(Field::Status); }

    // The title of a value's label ("Версия платы:").
    static QString title(Field field);
    // The fixed texts a value's label shows.
    static QString readingText();   // "Чтение..."
    static QString noValueText();   // "-"
    static QString noReplyText();   // "Нет ответа"
    static QString failedText();    // "Ошибка"
    static QString undefinedText(); // "Не определена"

private:
    static constexpr int FieldCount = 5;

    void show(Field field, Outcome outcome, const QString& text);
    // A failed exchange: "Нет ответа" when nothing came, "Ошибка" otherwise.
    void showFailure(Field field, bool noReply);

    Connector* link;
    FieldHook fieldHook;
    BoardState board;

    bool firmwareAnswered = false;
    bool firmwareValid = false; // well-formed, possibly with an empty text
    bool boardVersionAsked = false;
    bool errorCodeAsked = false;
    bool anySilent = false;
    std::optional<qint32> code;

    Outcome outcomes[FieldCount] = {};
    QString texts[FieldCount];
};
