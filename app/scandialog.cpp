#include "scandialog.h"

#include "barlink.h"
#include "connectorserial.h"
#include "printabletext.h"
#include "ratelabel.h"
#include "replyparsers.h"
#include "windowtext.h"

#include <QCoreApplication>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

// The readout fields a board is listed with, in the list's column order.
const BoardReadout::Field listedFields[] = { BoardReadout::Field::BoardVersion, BoardReadout::Field::FirmwareVersion,
                                             BoardReadout::Field::Status, BoardReadout::Field::BootloaderVersion };

QString hexOf(const QByteArray& bytes)
{
    return QString::fromLatin1(bytes.toHex(' '));
}

QString versionOf(const QByteArray& reply)
{
    const std::optional<QString> version = parseFirmwareVersionReply(reply);
    return version ? QStringLiteral("«%1»").arg(PrintableText::oneLine(*version))
                   : QStringLiteral("(%1)").arg(hexOf(reply));
}

// An answer that is no board, in the window's words.
QString otherAnswerText(const LineScan::Answer& answer)
{
    using Answer = LineScan::Answer;
    switch (answer.kind) {
    case Answer::ForeignAddress:
        return windowText("Адрес %1: ответ в кадре для адреса %2 (запоздалый ответ или устройство с другим адресом), "
                          "не принят за устройство")
            .arg(answer.address)
            .arg(answer.frameAddress);
    case Answer::BadChecksum:
        return windowText("Адрес %1: кадр с неверной контрольной суммой (помеха или ответили два устройства), "
                          "не принят за устройство")
            .arg(answer.address);
    case Answer::WrongReply:
        return windowText("Адрес %1: ответ без версии прошивки (%2), не принят за устройство")
            .arg(answer.address)
            .arg(hexOf(answer.reply));
    case Answer::DuplicateAddress:
        return windowText("Адрес %1: на один запрос два ответа, прошивки %2 и %3: этот адрес у нескольких устройств, "
                          "они не опрошены")
            .arg(answer.address)
            .arg(versionOf(answer.reply), versionOf(answer.secondReply));
    case Answer::Incomplete:
        return windowText("Адрес %1: устройство ответило, но прочитано не полностью (%2)")
            .arg(answer.address)
            .arg(PrintableText::oneLine(answer.readout.labelLines().join(QStringLiteral("; "))));
    case Answer::Board:
        break;
    }
    return QString();
}

} // namespace

ScanDialog::ScanDialog(BarLink* bar, QWidget* parent)
    : QDialog(parent)
    , bar(bar)
{
    setObjectName(QStringLiteral("ScanDialog"));
    setWindowTitle(windowText("Поиск устройств"));

    lineLabel = new QLabel(windowText("Линия: %1").arg(bar->lineText()), this);
    lineLabel->setObjectName(QStringLiteral("labelScanLine"));

    auto makeBox = [this](const char* name, int low, int high, int value) {
        auto* box = new QSpinBox(this);
        box->setObjectName(QLatin1String(name));
        box->setRange(low, high);
        box->setValue(value);
        return box;
    };
    fromBox = makeBox("spinBoxScanFrom", LineScan::firstAddress, LineScan::lastAddress, LineScan::firstAddress);
    toBox = makeBox("spinBoxScanTo", LineScan::firstAddress, LineScan::lastAddress, LineScan::lastAddress);
    waitBox = makeBox("spinBoxScanWait", 10, 5000, LineScan::defaultWaitMs);
    waitBox->setSuffix(windowText(" мс"));
    auto* range = new QHBoxLayout;
    range->addWidget(fromBox);
    range->addWidget(new QLabel(QStringLiteral("—"), this));
    range->addWidget(toBox);
    range->addStretch(1);
    auto* fields = new QFormLayout;
    fields->addRow(windowText("Адреса:"), range);
    fields->addRow(windowText("Ожидание ответа:"), waitBox);

    startButton = new QPushButton(windowText("Начать поиск"), this);
    startButton->setObjectName(QStringLiteral("pushButtonScanStart"));
    stopButton = new QPushButton(windowText("Остановить"), this);
    stopButton->setObjectName(QStringLiteral("pushButtonScanStop"));
    auto* run = new QHBoxLayout;
    run->addWidget(startButton);
    run->addWidget(stopButton);
    run->addStretch(1);

    progressBar = new QProgressBar(this);
    progressBar->setObjectName(QStringLiteral("progressBarScan"));
    progressBar->setValue(0);
    progressLabel = new QLabel(this);
    progressLabel->setObjectName(QStringLiteral("labelScanProgress"));
    rateLabel = new RateLabel(RateLabel::Unit::Addresses, this);
    rateLabel->setObjectName(QStringLiteral("labelScanRate"));
    auto* progressRow = new QHBoxLayout;
    progressRow->addWidget(progressLabel, 1);
    progressRow->addWidget(rateLabel);

    boardList = new QTreeWidget(this);
    boardList->setObjectName(QStringLiteral("treeWidgetScanBoards"));
    boardList->setRootIsDecorated(false);
    boardList->setSelectionMode(QAbstractItemView::SingleSelection);
    boardList->setHeaderLabels({ windowText("Адрес"), windowText("Тип платы"), windowText("Версия прошивки"),
                                 windowText("Режим"), windowText("Версия загрузчика") });
    boardList->header()->setSectionResizeMode(QHeaderView::ResizeToContents);

    otherAnswers = new QPlainTextEdit(this);
    otherAnswers->setObjectName(QStringLiteral("plainTextEditScanOther"));
    otherAnswers->setReadOnly(true);
    otherAnswers->setPlaceholderText(windowText("Ответы, не принятые за устройства"));
    otherAnswers->setMaximumBlockCount(2000);
    otherAnswers->setMaximumHeight(100);

    connectButton = new QPushButton(windowText("Подключить"), this);
    connectButton->setObjectName(QStringLiteral("pushButtonScanConnect"));
    closeButton = new QPushButton(windowText("Закрыть"), this);
    closeButton->setObjectName(QStringLiteral("pushButtonScanClose"));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(connectButton);
    buttons->addWidget(closeButton);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lineLabel);
    layout->addLayout(fields);
    layout->addLayout(run);
    layout->addWidget(progressBar);
    layout->addLayout(progressRow);
    layout->addWidget(boardList, 1);
    layout->addWidget(otherAnswers);
    layout->addLayout(buttons);
    resize(640, 480);

    connect(startButton, &QPushButton::clicked, this, &ScanDialog::start);
    connect(stopButton, &QPushButton::clicked, this, &ScanDialog::stop);
    connect(connectButton, &QPushButton::clicked, this, &ScanDialog::choose);
    connect(closeButton, &QPushButton::clicked, this, &ScanDialog::reject);
    connect(boardList, &QTreeWidget::itemDoubleClicked, this, &ScanDialog::choose);
    connect(boardList, &QTreeWidget::itemSelectionChanged, this, &ScanDialog::updateButtons);
    connect(fromBox, QOverload<int>::of(&QSpinBox::valueChanged), this, &ScanDialog::updateButtons);
    connect(toBox, QOverload<int>::of(&QSpinBox::valueChanged), this, &ScanDialog::updateButtons);
    updateButtons();
}

void ScanDialog::run(BarLink* bar, QWidget* window)
{
    if (!bar->hasAddresses()) {
        QMessageBox::information(window, windowText("Vantor"),
                                 windowText("В режиме «USB COM» к порту подключено одно устройство без адреса: "
                                            "искать нечего.\nПоиск работает в режимах «RS485 COM» и «RS485 TCP».\n"));
        return;
    }
    if (bar->held()) {
        // Two masters on one line would take each other's answers.
        const QMessageBox::StandardButton answer = QMessageBox::question(
            window, windowText("Vantor"), windowText("Для поиска линия нужна целиком.\nОтключиться от устройства?"),
            QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes);
        if (answer != QMessageBox::Yes)
            return;
        bar->disconnect();
    }
    ScanDialog dialog(bar, window);
    if (dialog.exec() != QDialog::Accepted || !dialog.chosenAddress())
        return;
    bar->setDeviceAddress(*dialog.chosenAddress());
    bar->connect();
}

void ScanDialog::updateButtons()
{
    const bool busy = scanning();
    startButton->setEnabled(!busy && fromBox->value() <= toBox->value());
    stopButton->setEnabled(busy);
    fromBox->setEnabled(!busy);
    toBox->setEnabled(!busy);
    waitBox->setEnabled(!busy);
    connectButton->setEnabled(!boardList->selectedItems().isEmpty() && !chosen);
}

void ScanDialog::start()
{
    if (scanning() || fromBox->value() > toBox->value())
        return;
    // The bar opens the line as Connect does and says so itself when it cannot.
    QSharedPointer<Connector> link = bar->borrow(false);
    if (!link)
        return;
    QSharedPointer<ConnectorSerial> framed = link.dynamicCast<ConnectorSerial>();
    if (!framed)
        return;

    boardList->clear();
    otherAnswers->clear();
    chosen.reset();
    LineScan::Summary summary;
    {
        LineScan lineScan(link.data(), framed.data());
        scan = &lineScan;
        updateButtons();
        connect(&lineScan, &LineScan::addressStarted, this, &ScanDialog::showProgress);
        connect(&lineScan, &LineScan::answered, this, &ScanDialog::showAnswer);
        summary = lineScan.run(fromBox->value(), toBox->value(), waitBox->value());
        scan = nullptr;
    }
    // The line is free the moment the scan is over.
    framed.reset();
    link.reset();
    rateLabel->finish();
    showSummary(summary);
    updateButtons();

    if (closeWanted)
        QDialog::reject();
    else if (chosen)
        accept();
}

void ScanDialog::stop()
{
    if (scan)
        scan->stop();
}

void ScanDialog::choose()
{
    const QList<QTreeWidgetItem*> selected = boardList->selectedItems();
    if (selected.isEmpty() || chosen)
        return;
    chosen = selected.first()->data(0, Qt::UserRole).toInt();
    updateButtons();
    // A scan under way lets go of the line first; it accepts once it has.
    if (scanning())
        stop();
    else
        accept();
}

void ScanDialog::reject()
{
    if (scanning()) {
        closeWanted = true;
        stop();
        return;
    }
    QDialog::reject();
}

void ScanDialog::showProgress(int address, int asked, int total, int found)
{
    progressBar->setRange(0, total);
    progressBar->setValue(asked - 1);
    progressLabel->setText(windowText("Адрес %1 (%2 из %3), найдено устройств: %4")
                               .arg(address)
                               .arg(asked)
                               .arg(total)
                               .arg(found));
    rateLabel->progress(asked - 1, total);
    // The only place the scan lets events through: Stop, a choice or closing
    // the dialog take effect before the next address is asked.
    QCoreApplication::processEvents();
}

void ScanDialog::showAnswer(const LineScan::Answer& answer)
{
    if (answer.kind != LineScan::Answer::Board) {
        otherAnswers->appendPlainText(otherAnswerText(answer));
        return;
    }
    auto* item = new QTreeWidgetItem(boardList);
    item->setText(0, QString::number(answer.address));
    item->setData(0, Qt::UserRole, answer.address);
    for (int column = 1; column <= 4; ++column)
        item->setText(column, PrintableText::oneLine(answer.readout.text(listedFields[column - 1])));
    if (!boardList->currentItem())
        boardList->setCurrentItem(item);
}

void ScanDialog::showSummary(const LineScan::Summary& summary)
{
    progressBar->setRange(0, summary.total());
    progressBar->setValue(summary.asked);
    const QString figures = windowText("опрошено адресов: %1 из %2 за %3 с; устройств: %4, прочих ответов: %5")
                                .arg(summary.asked)
                                .arg(summary.total())
                                .arg(double(summary.elapsedMs) / 1000.0, 0, 'f', 1)
                                .arg(summary.boards)
                                .arg(summary.oddAnswers + summary.incomplete + summary.shared);
    progressLabel->setText((summary.stopped ? windowText("Поиск остановлен: %1") : windowText("Поиск завершён: %1"))
                               .arg(figures));
}
