#include "waitdialog.h"

#include <QLabel>
#include <QMovie>
#include <QResizeEvent>
#include <QVBoxLayout>

#include <algorithm>

WaitDialog::WaitDialog(QWidget* parent)
    : QDialog(parent)
    , spinnerLabel(new QLabel(this))
    , movie(nullptr)
    , textLabel(new QLabel(QStringLiteral("Выполнение операции..."), this))
{
    setWindowTitle(QStringLiteral("Пожалуйста, подождите"));
    setModal(true);
    // Title bar without system buttons: nothing to click but wait.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);

    setStyleSheet(QStringLiteral("QDialog { background: white; border: none; }"));
    textLabel->setAlignment(Qt::AlignCenter);
    textLabel->setStyleSheet(QStringLiteral("QLabel { font: 12pt; margin-bottom: 15px; }"));
    spinnerLabel->setAlignment(Qt::AlignCenter);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(spinnerLabel, 0, Qt::AlignCenter);
    layout->addWidget(textLabel, 0, Qt::AlignCenter);
    layout->setContentsMargins(30, 30, 30, 30);
    layout->setSpacing(0);
    // Opens at a size that gives a clearly visible spinner (a third of the
    // smaller side); a longer text widens it through the layout's minimum.
    resize(300, 180);

    movie = new QMovie(QStringLiteral(":/new/image/images/spinner.gif"), QByteArray(), this);
    spinnerLabel->setMovie(movie);
    movie->start();
    updateSpinnerSize();
}

void WaitDialog::setText(const QString& text)
{
    textLabel->setText(text);
}

void WaitDialog::finish()
{
    if (movie)
        movie->stop();
    accept();
}

void WaitDialog::updateSpinnerSize()
{
    if (!movie || !spinnerLabel)
        return;
    const int side = std::min(width(), height()) / 3;
    spinnerLabel->setFixedSize(side, side);
    movie->setScaledSize(QSize(side, side));
}

void WaitDialog::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    updateSpinnerSize();
}

void WaitDialog::reject()
{
}
