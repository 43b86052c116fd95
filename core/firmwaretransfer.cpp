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

void FirmwareTransfer::setAttemptsPerBlock(int attempts)
{
    attemptsPerBlock = qMax(1, attempts);
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

    const CommandExchange exchange(link.data());
    bool irregular = false;
    for (int pass = 0;; ++pass) {
        const qint64 mark = exchange.extraReplies();
        const Pass sent = sendBlocks(plan, mark);
        result = sent.result;
        result.restarts = pass;
        irregular = irregular || sent.irregular;
        // A link running one reply behind shows it only with the last reply,
        // which no read has taken yet.
        if (result.ok() && irregular && exchange.quietWindow() > 0) {
            result.failure = Result::RepliesShifted;
            result.failedBlock = plan.blocks.size() - 1;
        }
        if (result.failure != Result::RepliesShifted || pass > 0 || sent.stopped)
            return result;
        // What is still on its way belongs to this pass, not to the next.
        exchange.quietWindow();
    }
}

FirmwareTransfer::Pass FirmwareTransfer::sendBlocks(const FirmwarePlan& plan, qint64 extraMark)
{
    Pass pass;
    Result& result = pass.result;
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
        for (int attempt = 0; attempt < attemptsPerBlock && !acknowledged; ++attempt) {
            const ExchangeResult r = exchange.transact(request, timeout);
            if (!r.written()) {
                result.failure = Result::WriteFailed;
                result.failedBlock = i;
                return pass;
            }
            pass.irregular = pass.irregular || attempt > 0 || r.late;
            answered = r.answered();
            if (!answered)
                ++unanswered;
            acknowledged = CommandExchange::isAck(r.reply);
        }
        // A resent block may be acknowledged twice; the second must not be
        // taken for the next block's.
        if (unanswered > 0 && answered)
            exchange.settle();
        // A reply too many: this block's verdict may be another's.
        if (exchange.extraRepliesSince(extraMark)) {
            result.failure = Result::RepliesShifted;
            result.failedBlock = i;
            return pass;
        }
        if (!acknowledged) {
            result.failure = Result::NoAck;
            result.failedBlock = i;
            return pass;
        }
        ++result.blocksAcknowledged;

        done = qMin(total, done + block.rawCount);
        if (progress)
            progress(done, total);
        if (hook && !hook()) {
            pass.stopped = true;
            if (i + 1 < count) {
                result.failure = Result::WriteFailed;
                result.failedBlock = i + 1;
                return pass;
            }
        }
    }
    return pass;
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
    case FirmwareTransfer::Result::RepliesShifted:
        return QCoreApplication::translate("MainWindow",
                                           "Копирование не подтверждено: прибор прислал больше ответов, чем было "
                                           "запросов (замечено на блоке %1), подтверждения блоков могли сместиться\n")
            .arg(locale.toString(result.failedBlock));
    default:
        return QString();
    }
    return QCoreApplication::translate("MainWindow", "Ошибка записи блока ") + locale.toString(result.failedBlock)
        + ending;
}
