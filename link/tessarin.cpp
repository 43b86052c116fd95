#include "tessarin.h"

#include "connectionsettings.h"
#include "connector.h"
#include "dialogserialparam.h"
#include "serialconnecthandler.h"
#include "serialportcatalog.h"
#include "settingsstore.h"
#include "tcpconnecthandler.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QFont>
#include <QHBoxLayout>
#include <QIcon>
#include <QIntValidator>
#include <QLabel>
#include <QLayoutItem>
#include <QLineEdit>
#include <QMetaObject>
#include <QPixmap>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QSpacerItem>
#include <QStyle>
#include <QStyleOptionFrame>

namespace {

const char* const modeUsb = "USB COM";
const char* const modeRs485 = "RS485 COM";
const char* const modeTcp = "RS485 TCP";

const char* const styleConnected = "QPushButton { background-color: #2d8f2d; color: white; }";
const char* const styleDisconnected = "QPushButton { background-color: #c33; color: white; }";

const char* const imageApply = ":/images/Apply_32x32.png";
const char* const imageCancel = ":/images/Cancel_32x32.png";
const char* const imageRefresh = ":/images/Refresh24.png";
const char* const imageSettings = ":/images/settings";

QString ipPattern()
{
    const QString octet = QStringLiteral("(?:[0-1]?[0-9]?[0-9]|2[0-4][0-9]|25[0-5])");
    return QStringLiteral("^") + octet + QStringLiteral("\\.") + octet + QStringLiteral("\\.") + octet
        + QStringLiteral("\\.") + octet + QStringLiteral("$");
}

// Wide enough to show `text` whole, frame and margins included.
int lineEditWidthFor(QLineEdit* edit, const QString& text)
{
    // Two pixels of inner margin either side and one for the cursor, as the
    // line edit itself counts them.
    const QMargins margins = edit->textMargins();
    const int inner = edit->fontMetrics().horizontalAdvance(text) + 2 * 2 + 1 + margins.left() + margins.right();
    QStyleOptionFrame option;
    option.initFrom(edit);
    option.lineWidth = edit->hasFrame() ? edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, edit) : 0;
    return edit->style()
        ->sizeFromContents(QStyle::CT_LineEdit, &option, QSize(inner, edit->fontMetrics().height()), edit)
        .width();
}

} // namespace

Tessarin::Tessarin(QWidget* parent)
    : QWidget(parent)
{
    linkStatusLabel = new QLabel(this);
    connectionModeLabel = new QLabel(tr("Connection Mode:"), this);
    QFont modeFont(QStringLiteral("MS Shell Dlg 2"), 12, QFont::Normal, false);
    connectionModeLabel->setFont(modeFont);
    connectionModeCombo = new QComboBox(this);
    ConnectionModeModify();

    mainLayout = new QHBoxLayout(this);
    mainLayout->addWidget(linkStatusLabel);
    mainLayout->addWidget(connectionModeLabel);
    mainLayout->addWidget(connectionModeCombo);
    setMinimumWidth(213);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    connectorLayout = new QHBoxLayout;
    mainLayout->addLayout(connectorLayout, 1);

    // Connected only now, so filling the combo above built no controls.
    connect(connectionModeCombo, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &Tessarin::currentIndexChanged);

    CreateUSBorSerialConnector(usbConfigEnabled);
    setConnected(false);
}

Tessarin::~Tessarin()
{
    // The transport lives on if the host still holds a copy.
    currentConnector.reset();
}

void Tessarin::setProgramName(const QString& name)
{
    programName = name;
    CreateUSBorSerialConnector(usbConfigEnabled);
}

void Tessarin::setUSBConfigEnable(bool enable)
{
    usbConfigEnabled = enable;
    ConnectionModeModify();
}

void Tessarin::setConnected(bool c)
{
    connected = c;
    if (connectButton)
        connectButton->setText(connected ? tr("Disconnect") : tr("Connect"));
    setLinkStatus(connected);
    setConnectionOk(connected);
}

void Tessarin::setConnectionOk(bool ok)
{
    connected = ok;
    if (connectButton)
        connectButton->setStyleSheet(QLatin1String(ok ? styleConnected : styleDisconnected));
}

void Tessarin::setLinkStatus(bool up)
{
    connected = up;
    linkStatusLabel->setPixmap(QPixmap(QLatin1String(up ? imageApply : imageCancel)));
}

bool Tessarin::isConnected() const
{
    return connected;
}

void Tessarin::disconnectCurrentConnector()
{
    if (!currentConnector.isNull())
        currentConnector.reset();
    setConnected(false);
}

void Tessarin::currentIndexChanged(int index)
{
    if (usbConfigEnabled) {
        switch (index) {
        case 0:
            CreateUSBorSerialConnector(true);
            break;
        case 1:
            CreateUSBorSerialConnector(false);
            break;
        case 2:
            CreateIPConnector();
            break;
        default:
            break;
        }
    } else {
        switch (index) {
        case 0:
            CreateUSBorSerialConnector(false);
            break;
        case 1:
            CreateIPConnector();
            break;
        default:
            break;
        }
    }
}

void Tessarin::updateWidgetFromSettings()
{
    const int index = connectionModeCombo ? connectionModeCombo->currentIndex() : -1;
    if (usbConfigEnabled) {
        if (index == 1)
            CreateUSBorSerialConnector(false);
        else if (index == 2)
            CreateIPConnector();
        else
            CreateUSBorSerialConnector(true);
    } else {
        if (index == 1)
            CreateIPConnector();
        else
            CreateUSBorSerialConnector(false);
    }
}

void Tessarin::ConnectionModeModify()
{
    connectionModeCombo->clear();
    if (usbConfigEnabled)
        connectionModeCombo->addItem(QLatin1String(modeUsb));
    connectionModeCombo->addItem(QLatin1String(modeRs485));
    connectionModeCombo->addItem(QLatin1String(modeTcp));
}

void Tessarin::ResetConnectorWidget()
{
    connectButton = nullptr;
    // A rebuild may run inside the click of one of these controls ("Сброс
    // настроек" makes the host rebuild the row), so nothing is destroyed here:
    // the old controls leave the row at once and the event loop deletes them
    // once that click has been delivered.
    while (QLayoutItem* item = connectorLayout->takeAt(0)) {
        if (QWidget* w = item->widget()) {
            w->hide();
            w->setObjectName(QString());
            w->deleteLater();
        }
        delete item;
    }
}

void Tessarin::CreateUSBorSerialConnector(bool usb)
{
    ResetConnectorWidget();

    connectorLayout->addWidget(new QLabel(tr("Port:"), this));
    auto* portCombo = new QComboBox(this);
    fillPortCombo(portCombo);
    connect(portCombo, QOverload<int>::of(&QComboBox::currentIndexChanged), portCombo, [portCombo](int index) {
        portCombo->setToolTip(portCombo->itemData(index, Qt::ToolTipRole).toString());
    });
    connectorLayout->addWidget(portCombo);

    auto* refreshButton = new QPushButton(this);
    refreshButton->setIcon(QIcon(QLatin1String(imageRefresh)));
    connectorLayout->addWidget(refreshButton);
    connect(refreshButton, &QPushButton::clicked, portCombo, [this, portCombo] { fillPortCombo(portCombo); });

    QLineEdit* deviceIdEdit = nullptr;
    if (!usb) {
        auto* settingsButton = new QPushButton(this);
        settingsButton->setIcon(QIcon(QLatin1String(imageSettings)));
        connectorLayout->addWidget(settingsButton);
        connect(settingsButton, &QPushButton::clicked, this, &Tessarin::openSerialParamDialog);

        const SettingsStore store(programName);
        deviceIdEdit = addDeviceIdEdit(ConnectionSettings::storedDeviceId(store));
    }

    addConnectButtonAndTail(new SerialConnectHandler(this, usb, portCombo, deviceIdEdit));
    showHeldState();
}

void Tessarin::CreateIPConnector()
{
    ResetConnectorWidget();

    const SettingsStore store(programName);

    connectorLayout->addWidget(new QLabel(tr("IP:"), this));
    auto* ipEdit = new QLineEdit(ConnectionSettings::storedTcpIp(store), this);
    ipEdit->setValidator(new QRegularExpressionValidator(QRegularExpression(ipPattern()), ipEdit));
    ipEdit->setMinimumWidth(lineEditWidthFor(ipEdit, QStringLiteral("255.255.255.255")));
    connectorLayout->addWidget(ipEdit);

    connectorLayout->addWidget(new QLabel(tr("TCP Port:"), this));
    auto* portEdit = new QLineEdit(ConnectionSettings::storedTcpPortText(store), this);
    portEdit->setValidator(new QIntValidator(0, ConnectionSettings::maxTcpPort, portEdit));
    connectorLayout->addWidget(portEdit);

    QLineEdit* deviceIdEdit = addDeviceIdEdit(ConnectionSettings::storedDeviceId(store));

    addConnectButtonAndTail(new TcpConnectHandler(this, ipEdit, portEdit, deviceIdEdit));
    showHeldState();
}

void Tessarin::showHeldState()
{
    // A new row must not offer Connect while the link is held: that click
    // would open a second link to the same board. It shows what the flag says.
    setConnected(connected && !currentConnector.isNull());
}

QLineEdit* Tessarin::addDeviceIdEdit(int storedId)
{
    connectorLayout->addWidget(new QLabel(tr("DeviceId:"), this));
    auto* edit = new QLineEdit(QString::number(storedId), this);
    edit->setObjectName(QStringLiteral("DeviceID"));
    edit->setValidator(new QIntValidator(0, ConnectionSettings::maxDeviceId, edit));
    connectorLayout->addWidget(edit);
    return edit;
}

void Tessarin::addConnectButtonAndTail(ConnectHandler* handler)
{
    connectButton = new QPushButton(tr("Connect"), this);
    handler->setParent(connectButton);
    connect(connectButton, &QPushButton::clicked, handler, [this, handler] { connectButtonClicked(handler); });
    connectorLayout->addWidget(connectButton);

    connectorLayout->addItem(new QSpacerItem(40, 20, QSizePolicy::Expanding, QSizePolicy::Minimum));

    auto* rebootButton = new QPushButton(tr("Reboot"), this);
    connect(rebootButton, &QPushButton::clicked, this, &Tessarin::onRebootRequested);
    connectorLayout->addWidget(rebootButton);

    auto* resetButton = new QPushButton(tr("Сброс настроек"), this);
    connect(resetButton, &QPushButton::clicked, this, &Tessarin::onResetToDefaultRequested);
    connectorLayout->addWidget(resetButton);
}

void Tessarin::connectButtonClicked(ConnectHandler* handler)
{
    // Only the flag decides: with it false every click is a new attempt, even
    // while a handed-over transport is still held.
    if (connected) {
        currentConnector.reset();
        setConnected(false);
        emit onDisconnected();
        return;
    }
    handler->run();
}

void Tessarin::watchCurrentConnector()
{
    if (!currentConnector)
        return;
    const QWeakPointer<Connector> watched = currentConnector;
    const QPointer<Tessarin> self(this);
    currentConnector->setLinkLostCallback([self, watched] {
        // The transport may tell us from inside its own read or write; the
        // link is let go only once that call is over.
        if (self)
            QMetaObject::invokeMethod(
                self.data(), [self, watched] { self->currentConnectorLost(watched); }, Qt::QueuedConnection);
    });
}

void Tessarin::currentConnectorLost(const QWeakPointer<Connector>& lost)
{
    // News of a transport this bar no longer holds concerns nobody.
    if (!currentConnector || lost.toStrongRef() != currentConnector)
        return;
    const bool wasShownHeld = connected;
    currentConnector.reset();
    setConnected(false);
    if (!wasShownHeld)
        return;
    emit onDisconnected();
    emit onLinkLost();
}

void Tessarin::fillPortCombo(QComboBox* combo)
{
    combo->clear();
    const QList<SerialPortCatalog::Entry> entries = SerialPortCatalog::entries(SerialPortCatalog::currentView());
    const QList<SerialPortCatalog::Choice> choices = SerialPortCatalog::choices(entries);
    int longestPortName = 0;
    for (const SerialPortCatalog::Entry& entry : entries)
        longestPortName = qMax(longestPortName, entry.port.portName.size());
    for (const SerialPortCatalog::Choice& choice : choices) {
        combo->addItem(choice.text);
        combo->setItemData(combo->count() - 1, choice.toolTip, Qt::ToolTipRole);
    }
    // The closed list is as wide as the ports' own names; the long stable
    // names are read whole in the open list.
    combo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    combo->setMinimumContentsLength(qMax(longestPortName, 7));
    combo->view()->setMinimumWidth(combo->view()->sizeHintForColumn(0));
    combo->setToolTip(combo->itemData(combo->currentIndex(), Qt::ToolTipRole).toString());
}

void Tessarin::openSerialParamDialog()
{
    QPointer<DialogSerialParam> dialog = new DialogSerialParam(this);
    dialog->setProgramName(programName);
    // exec() cannot make a dialog that is already visible modal, so the
    // modality is set before show(); otherwise the bar stays clickable behind it.
    dialog->setWindowModality(Qt::ApplicationModal);
    dialog->show();
    dialog->exec();
    // Not used again; deleted once this click has been delivered.
    if (dialog)
        dialog->deleteLater();
}
