#pragma once

#include "configblocks.h"

#include <QObject>
#include <QString>

class BoardSession;
class QTableWidget;

// The RS-485 group of the main tab: two one-column tables, one per port, whose
// lower rows follow the protocol chosen in the table, the port and protocol
// records they edit, and the read and write of both through the session.
class Rs485Panel : public QObject
{
    Q_OBJECT

public:
    Rs485Panel(QTableWidget* port1, QTableWidget* port2, BoardSession* session, QObject* parent = nullptr);

    QTableWidget* table(int port) const { return tables[port]; }

    // "Прочитать из устройства" and "Записать в устройство".
    void read();
    void write();
    // The exchanges behind them; false without a link.
    bool readRs485Params();
    bool writeRs485Params();
    // The session's records after it read the board: the port records when
    // `ports` were read, the protocol records too when `protocols` were.
    void takeBoardRecords(bool ports, bool protocols);
    // Why the last write refused the tables before sending anything; empty
    // when it did not refuse on input.
    const QString& inputError() const { return rs485InputError; }

    const Rs485Ports& ports() const { return rs485Ports; }
    const Iec101Ports& protocols() const { return iec101Params; }
    // What the tables were last filled with (a read, a file or a completed write).
    const Rs485Ports& shownPorts() const { return portsShown; }
    const Iec101Ports& shownProtocols() const { return protocolsShown; }
    // Whether what the tables were last filled with came from the board.
    bool shownIsBoards() const { return shownFromBoard; }
    // Puts both records into the records and the tables.
    void showRecords(const Rs485Ports& ports, const Iec101Ports& protocols, bool fromBoard);
    // The tables' edits over copies of the records, checked as a write checks
    // them; false, with inputError() saying why, when one is refused.
    bool collectEdits(Rs485Ports& ports, Iec101Ports& protocols);

    void buildPortTable(QTableWidget* table);
    void buildProtocolRows(int protocol, QTableWidget* table);
    bool collectPortRecord(QTableWidget* table, Rs485PortParams& record);
    bool collectIec101Record(QTableWidget* table, Iec101Params& record);
    void showPortRecord(QTableWidget* table, const Rs485PortParams& record);
    void showIec101Record(QTableWidget* table, const Iec101Params& record);

private:
    // The first IEC101 number of `table` that the record could not carry as
    // typed (out of its editor's range, empty, or not a plain number), told as
    // the technician should read it; empty when there is none.
    // A number still showing what `shown` (the record the rows came from)
    // holds is the board's own and passes as it is.
    QString iec101InputProblem(QTableWidget* table, int port, const Iec101Params& shown) const;
    QWidget* boxParent() const;

    QTableWidget* tables[2];
    BoardSession* session;
    // Port 1 then port 2.
    Rs485Ports rs485Ports {};
    Iec101Ports iec101Params {};
    Rs485Ports portsShown {};
    Iec101Ports protocolsShown {};
    bool shownFromBoard = false;
    QString rs485InputError;
    // What the last write came to, in the window's words.
    QString writeOutcome;
    // The port tables show the port records (a read filled them); before that
    // the tables hold their defaults and the records nothing of the board's.
    bool rs485PortsShown = false;
};
