#include "ratelabel.h"

#include "windowtext.h"

#include <QTimer>

namespace {

constexpr int refreshMs = 1000;

} // namespace

RateLabel::RateLabel(Unit unit, QWidget* parent)
    : QLabel(parent)
    , unit(unit)
    , ticker(new QTimer(this))
{
    ticker->setInterval(refreshMs);
    connect(ticker, &QTimer::timeout, this, [this] {
        // Nothing new came: the same count a second later is a slower line.
        estimate.sample(estimate.done(), clock.elapsed());
        refresh();
    });
    hide();
}

QString RateLabel::text(const RateEstimator& estimate, Unit unit)
{
    const std::optional<double> speed = estimate.perSecond();
    if (!speed)
        return QString();
    const QString speedText = unit == Unit::Bytes
        ? RateEstimator::byteRateText(*speed, windowText("Б/с"), windowText("КиБ/с"), windowText("МиБ/с"))
        : windowText("%1 адр./с").arg(*speed, 0, 'f', 1);
    const std::optional<qint64> left = estimate.secondsLeft();
    return windowText("%1, осталось %2")
        .arg(speedText, left ? RateEstimator::clockText(*left) : QStringLiteral("—"));
}

void RateLabel::progress(qint64 done, qint64 total)
{
    if (!running) {
        running = true;
        clock.start();
        estimate.start(total);
        ticker->start();
        show();
    }
    estimate.sample(done, clock.elapsed());
    refresh();
}

void RateLabel::finish()
{
    running = false;
    ticker->stop();
    clear();
    hide();
}

void RateLabel::refresh()
{
    setText(text(estimate, unit));
}
