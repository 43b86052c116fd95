#include "devicepanel.h"

#include "boardsession.h"
#include "windowtext.h"

#include <QLabel>
#include <QTabWidget>

DevicePanel::DevicePanel(const Labels& shown, QTabWidget* tabs, QWidget* diDoPage, BoardSession* session,
                         QObject* parent)
    : QObject(parent)
    , labels { shown.boardVersion, shown.firmwareVersion, shown.deviceStatus, shown.bootloaderVersion,
               shown.errorStatus }
    , tabs(tabs)
    , diDoPage(diDoPage)
    , session(session)
{
    setObjectName(QStringLiteral("devicePanel"));
    connect(session, &BoardSession::fieldRead, this, &DevicePanel::showField);
}

void DevicePanel::showField(BoardReadout::Field field, const QString& text)
{
    // The value labels show what the board sent; a board must not be able to
    // smuggle markup (or links) into the window, so they never interpret it.
    QLabel* label = labels[int(field)];
    label->setTextFormat(Qt::PlainText);
    label->setText(text);
    if (field != BoardReadout::Field::Status || text == BoardReadout::readingText())
        return;
    // What follows the mode follows each status read, not the link coming
    // and going. The DI/DO editor talks to the main firmware only.
    emit modeRead();
    const bool mainRunning = session->hasLink() && session->board().mainFirmwareRunning();
    tabs->setTabEnabled(tabs->indexOf(diDoPage), mainRunning);
}

void DevicePanel::showNoBoard()
{
    for (QLabel* label : labels) {
        label->setTextFormat(Qt::PlainText);
        label->setText(BoardReadout::noValueText());
    }
}

void DevicePanel::reboot()
{
    if (!session->hasLink())
        return;
    // An acknowledged reboot (silence counts) lets the link go in the session.
    const BoardSession::ActionResult result = session->reboot();
    showOutcome(labels[0]->window(), result.ok(), result.text);
    if (result.ok())
        emit linkReleased();
}
