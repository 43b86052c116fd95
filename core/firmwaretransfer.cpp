#include "firmwaretransfer.h"

#include "commandexchange.h"
#include "connector.h"

#include <QCoreApplication>

FirmwareTransfer::FirmwareTransfer(QSharedPointer<Connector> connector)
    : link(std::move(connector))
{
}

void FirmwareTransfer::setProgress(const Progress& callback)
{
    progress = callback;
}

void FirmwareTransfer::setBlockHook(const BlockHook& callback)
{
    hook = callback;
}

FirmwareTransfer::Result FirmwareTransfer::run(const FirmwarePlan& plan)
{
    Result result;
    if (!link) {
        result.failure = Result::NoConnector;
        return result;
    }
    if (!plan.ok() || plan.blocks.isEmpty()) {
        result.failure = Result::Rejected;
        return result;
    }

    const qint64 total = plan.imageSize;
    qint64 done = 0;
    if (progress)
        progress(done, total);

    const CommandExchange exchange(link.data());
    const int count = plan.blocks.size();
    for (int i = 0; i < count; ++i) {
        const FirmwareBlock& block = plan.blocks.at(i);
        const QByteArray request =
            firmwareBlockRequest(firmwareBlockOpcode(plan.method, i, count), i, block.data);
        const int timeout = firmwareBlockTimeoutMs(plan.method, i, count);

        bool acknowledged = false;
        bool answered = false;
        int unanswered = 0;
        for (int attempt = 0; attempt < AttemptsPerBlock && !acknowledged; ++attempt) {
            const ExchangeResult r = exchange.transact(request, timeout);
            if (!r.written()) {
                result.failure = Result::WriteFailed;
                result.failedBlock = i;
                return result;
            }
            answered = r.answered();
            if (!answered)
                ++unanswered;
            acknowledged = CommandExchange::isAck(r.reply);
        }
        // A resent block may be acknowledged twice; the second must not be
        // taken for the next block's.
        if (unanswered > 0 && answered)
            exchange.settle();
        if (!acknowledged) {
            result.failure = Result::NoAck;
            result.failedBlock = i;
            return result;
        }
        ++result.blocksAcknowledged;

        done = qMin(total, done + block.rawCount);
        if (progress)
            progress(done, total);
        const bool goOn = !hook || hook();
        if (!goOn && i + 1 < count) {
            result.failure = Result::WriteFailed;
            result.failedBlock = i + 1;
            return result;
        }
    }
    return result;
}

QString transferFailureText(const FirmwareTransfer::Result& result, const QLocale& locale)
{
    QString ending;
    switch (result.failure) {
    case FirmwareTransfer::Result::WriteFailed:
        ending = QStringLiteral("\n");
        break;
    case FirmwareTransfer::Result::NoAck:
        ending = QStringLiteral("!\n");
        break;
    default:
        return QString();
    }
    return QCoreApplication::translate("MainWindow", "Ошибка записи блока ") + locale.toString(result.failedBlock)
        + ending;
}
