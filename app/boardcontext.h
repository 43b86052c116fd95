#pragma once

#include "boardstate.h"
#include "operationslog.h"

#include <QObject>
#include <QPointer>
#include <QSharedPointer>
#include <QString>

class Connector;
struct ExchangeResult;
class Tessarin;

// The link to the board and what the identity readout learnt about the board
// at its end, shared by the window's panels. The window owns one; the panels
// read it, the readout updates it, and changed() follows every change of
// either, so enabling rules that depend only on these two can follow on their own.
class BoardContext : public QObject
{
    Q_OBJECT

public:
    explicit BoardContext(QObject* parent = nullptr);

    const QSharedPointer<Connector>& link() const { return held; }
    Connector* connector() const { return held.data(); }
    bool linked() const { return !held.isNull(); }
    void setLink(const QSharedPointer<Connector>& link);

    const BoardState& state() const { return board; }
    void setState(const BoardState& state);

    // The connection bar the link comes through: it names the link in the
    // operations log and gives the device address.
    void setBar(Tessarin* bar);
    // "RS485 TCP 127.0.0.1:4001, address 5", as the bar shows it.
    QString linkDescription() const;
    int deviceAddress() const;

    // One line of the operations log, with the link and the board.
    void log(OperationRecord record) const;
    void log(const QString& operation, bool ok, const QString& outcome = QString()) const;
    void log(const QString& operation, const ExchangeResult& result) const;

signals:
    void changed();

private:
    QSharedPointer<Connector> held;
    BoardState board;
    QPointer<Tessarin> connectionBar;
};
