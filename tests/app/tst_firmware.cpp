// The window's firmware buttons against the scripted connector: the file
// dialog and the remembered folder, the refusals it shows, the progress bar
// and the wait dialog, failures, the question, the flash with its texts, and a
// technician who disconnects in the middle. The blocks, their time-outs and
// retries are the firmware job's, tested with it.

#include "boardsetup.h"
#include "firmwarepanel.h"
#include "mainwindow.h"

#include "connector.h"
#include "modalanswerer.h"
#include "scriptedconnector.h"
#include "settingsstore.h"
#include "tessarin.h"
#include "testsettings.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

#include <memory>

namespace {

const QString vantor = QStringLiteral("Vantor");
const QString copied = QString::fromUtf8("Копирование завершено!\n");
const QString mainQuestion = QString::fromUtf8("Копирование основной прошивки завершено.\nЗаписать прошивку?");
const QString bootQuestion = QString::fromUtf8("Копирование загрузчика завершено.\nЗаписать прошивку?");

QByteArray distinctBytes(int size)
{
    QByteArray out;
    out.reserve(size);
    for (int i = 0; i < size; ++i)
        out.append(char(i % 251));
    return out;
}

// Answers like a board in its bootloader: blocks and flash acknowledged, the
// status read back as "bootloader 1.0.7", the error code 5.
ScriptedConnector::Step boardLike(const QByteArray& request)
{
    switch (quint8(request.at(0))) {
    case 0x64:
        return ScriptedConnector::reply(QByteArray::fromHex("c90105") + "1.0.7");
    case 0x79:
        return ScriptedConnector::replyHex("c9 05000000");
    default:
        return ScriptedConnector::replyHex("c9");
    }
}

int blockNumber(const QByteArray& request)
{
    return int(quint8(request.at(1))) | int(quint8(request.at(2))) << 8;
}

bool isBlock(const QByteArray& request)
{
    const int code = quint8(request.at(0));
    return code >= 0xB0 && code <= 0xB6;
}

} // namespace

Q_DECLARE_METATYPE(ScriptedConnector::Step)

class TestFirmware : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void buttonsFollowModeAndLink_data();
    void buttonsFollowModeAndLink();

    void dialogGetsCaptionFilterAndRememberedFolder();
    void folderRememberedOnlyAfterTheFileOpened_data();
    void folderRememberedOnlyAfterTheFileOpened();
    void noConnectorNoDialog();
    void nameChecksThroughTheWindow_data();
    void nameChecksThroughTheWindow();
    void refusedImageSendsNothing_data();
    void refusedImageSendsNothing();

    void methodLineInTheDump_data();
    void methodLineInTheDump();
    void progressCountsImageBytes_data();
    void progressCountsImageBytes();
    void failedBlockStopsTheTransfer_data();
    void failedBlockStopsTheTransfer();
    void failedBlockNumberFollowsTheWindowLocale();
    void waitDialogStaysUpAndEventsRunBetweenBlocks();

    void questionYesFlashesAtOnce_data();
    void questionYesFlashesAtOnce();
    void answeringNoLeavesFlashEnabled();
    void flashOutcomes_data();
    void flashOutcomes();

    void disconnectDuringTransferStopsCleanly_data();
    void disconnectDuringTransferStopsCleanly();
    void disconnectDuringFlashWaitSkipsTheRead();

private:
    // The window's session finds a board in the given state on `link`.
    void connectBoard(bool modeKnown, quint8 mode, bool typeKnown, quint16 type,
                      const QString& bootloader = QStringLiteral("1.0.7"));
    // A board in its bootloader, type 1, bootloader 1.0.7 (RLE) or 0.0.6 (LEGACY).
    void connectBootloader(bool runLength) { connectBoard(true, 1, true, 1, runLength ? "1.0.7" : "0.0.6"); }
    QString writeFile(const QString& relativePath, const QByteArray& bytes);
    // Picks `path` in the next file dialog and presses the send button's slot.
    void sendFile(const QString& path);
    QList<QByteArray> blockWrites() const;
    QString lastFirmwarePath() const;
    template <typename T>
    T* child(const char* name) { return window->findChild<T*>(QString::fromLatin1(name)); }
    QPushButton* flashButton() { return child<QPushButton>("pushButtonFlashFirmware"); }

    FirmwarePanel* firmware() { return partOf<FirmwarePanel>(*window); }
    BoardSession* session() { return partOf<BoardSession>(*window); }
    void disconnectLater()
    {
        QMetaObject::invokeMethod(
            window.get(), [this] { emit partOf<Tessarin>(*window)->onDisconnected(); }, Qt::QueuedConnection);
    }

    std::unique_ptr<MainWindow> window;
    std::unique_ptr<ModalAnswerer> answerer;
    QSharedPointer<ScriptedConnector> link;
    std::unique_ptr<QTemporaryDir> files;

    struct DialogCall
    {
        QWidget* parent;
        QString caption;
        QString folder;
        QString filter;
    };
    QList<DialogCall> dialogCalls;
    QString nextChoice;
};

void TestFirmware::initTestCase()
{
    TestSettings::isolate();
}

void TestFirmware::init()
{
    TestSettings::clear();
    window.reset(new MainWindow);
    answerer.reset(new ModalAnswerer);
    link.reset(new ScriptedConnector);
    link->setResponder(boardLike);
    files.reset(new QTemporaryDir);
    QVERIFY(files->isValid());
    dialogCalls.clear();
    nextChoice.clear();
    firmware()->chooseFile = ([this](QWidget* parent, const QString& caption, const QString& folder,
                                          const QString& filter) {
        dialogCalls.append({ parent, caption, folder, filter });
        return nextChoice;
    });
}

void TestFirmware::cleanup()
{
    answerer.reset();
    window.reset();
    link.reset();
    files.reset();
}

void TestFirmware::connectBoard(bool modeKnown, quint8 mode, bool typeKnown, quint16 type, const QString& bootloader)
{
    QVERIFY(identify(*session(), link, modeKnown ? mode : -1, typeKnown ? type : 0, QStringLiteral("1.2.0"), bootloader));
}

QString TestFirmware::writeFile(const QString& relativePath, const QByteArray& bytes)
{
    const QString path = files->filePath(relativePath);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

void TestFirmware::sendFile(const QString& path)
{
    nextChoice = path;
    firmware()->send();
}

QList<QByteArray> TestFirmware::blockWrites() const
{
    QList<QByteArray> blocks;
    for (const QByteArray& w : link->writes) {
        if (isBlock(w))
            blocks.append(w);
    }
    return blocks;
}

QString TestFirmware::lastFirmwarePath() const
{
    return SettingsStore(QStringLiteral("KELDORA_NODE")).value(QStringLiteral("LastFirmwarePath")).toString();
}

// ---- Buttons ----

void TestFirmware::buttonsFollowModeAndLink_data()
{
    QTest::addColumn<bool>("connected");
    QTest::addColumn<int>("mode"); // -1: not read
    QTest::addColumn<bool>("firmwareKnown");
    QTest::addColumn<bool>("flashBefore");
    QTest::addColumn<QString>("captionSuffix"); // "Firmware" or "Bootloader"
    QTest::addColumn<QString>("enterText");
    QTest::addColumn<bool>("sendEnabled");
    QTest::addColumn<bool>("flashEnabled");
    QTest::addColumn<bool>("enterEnabled");

    const QString fw = QStringLiteral("Firmware");
    const QString bl = QStringLiteral("Bootloader");
    const QString enterMain = QStringLiteral("Enter Main Firmware");
    const QString enterBoot = QStringLiteral("Enter Bootloader");

    // Without a link nothing is known of the board.
    QTest::newRow("no link") << false << 1 << true << true << bl << enterBoot << false << false << false;
    QTest::newRow("mode unknown") << true << -1 << true << false << bl << enterBoot << false << false << true;
    QTest::newRow("main firmware") << true << 0 << true << false << bl << enterBoot << true << false << true;
    QTest::newRow("bootloader, version read") << true << 1 << true << false << fw << enterMain << true << false << true;
    QTest::newRow("bootloader, no version") << true << 1 << false << false << fw << enterMain << true << false << false;
    QTest::newRow("main, no version") << true << 0 << false << false << bl << enterBoot << true << false << true;
    QTest::newRow("mode 7") << true << 7 << true << false << bl << enterBoot << false << false << true;
    QTest::newRow("flash kept while send usable") << true << 1 << true << true << fw << enterMain << true << true << true;
    QTest::newRow("flash taken by unknown mode") << true << -1 << true << true << bl << enterBoot << false << false << true;
    QTest::newRow("flash taken by mode 2") << true << 2 << true << true << bl << enterBoot << false << false << true;
}

void TestFirmware::buttonsFollowModeAndLink()
{
    QFETCH(bool, connected);
    QFETCH(int, mode);
    QFETCH(bool, firmwareKnown);
    QFETCH(bool, flashBefore);
    QFETCH(QString, captionSuffix);
    QFETCH(QString, enterText);
    QFETCH(bool, sendEnabled);
    QFETCH(bool, flashEnabled);
    QFETCH(bool, enterEnabled);

    QVERIFY(identify(*session(), link, mode, 1, firmwareKnown ? QStringLiteral("1.0.0") : QString()));
    if (!connected)
        session()->release();
    auto* send = child<QPushButton>("pushButtonSendFirmware");
    auto* enter = child<QPushButton>("pushButtonEnterBootloader");
    flashButton()->setEnabled(flashBefore);

    firmware()->updateButtons();

    QCOMPARE(send->text(), QStringLiteral("Send ") + captionSuffix);
    QCOMPARE(flashButton()->text(), QStringLiteral("Flash ") + captionSuffix);
    QCOMPARE(enter->text(), enterText);
    QCOMPARE(send->isEnabledTo(window.get()), sendEnabled);
    QCOMPARE(flashButton()->isEnabledTo(window.get()), flashEnabled);
    QCOMPARE(enter->isEnabledTo(window.get()), enterEnabled);
}

// ---- File choice ----

void TestFirmware::dialogGetsCaptionFilterAndRememberedFolder()
{
    connectBootloader(false);
    answerer->queueButton(QMessageBox::Ok);
    answerer->queueButton(QMessageBox::No);
    const QString path = writeFile(QStringLiteral("images/fw_main_vrell_a.frm"), distinctBytes(10));
    sendFile(path);

    QCOMPARE(dialogCalls.size(), 1);
    QCOMPARE(dialogCalls.at(0).parent, static_cast<QWidget*>(window.get()));
    QCOMPARE(dialogCalls.at(0).caption, QStringLiteral("Open Firmware"));
    QCOMPARE(dialogCalls.at(0).filter, QStringLiteral("Firmware files (*.frm)|*.frm"));
    QCOMPARE(dialogCalls.at(0).folder, QDir::homePath());
    QCOMPARE(lastFirmwarePath(), QFileInfo(path).absolutePath());

    // The next dialog opens where the last file was.
    nextChoice.clear();
    firmware()->send();
    QCOMPARE(dialogCalls.size(), 2);
    QCOMPARE(dialogCalls.at(1).folder, QFileInfo(path).absolutePath());
}

void TestFirmware::folderRememberedOnlyAfterTheFileOpened_data()
{
    QTest::addColumn<QString>("choice"); // relative to the temporary folder; "" cancels
    QTest::addColumn<bool>("create");
    QTest::addColumn<QString>("warning");

    QTest::newRow("cancelled") << QString() << false << QString();
    QTest::newRow("file missing") << "gone/fw_main_vrell_a.frm" << false << QString();
    QTest::newRow("a folder") << "dir_main_vrell_a.frm" << false << QString();
    QTest::newRow("name refused") << "other/fw_boot_vrell_a.frm" << true << QString::fromUtf8("прошивка не основная");
    // The dialog lets these through: one never ends, the other blocks an open.
    const QString notRegular = QString::fromUtf8("Файл прошивки должен быть обычным файлом: %1\n");
    QTest::newRow("link to /dev/zero") << "zero_main_vrell_a.frm" << false << notRegular.arg("zero_main_vrell_a.frm");
    QTest::newRow("FIFO without a writer") << "fifo_main_vrell_a.frm" << false << notRegular.arg("fifo_main_vrell_a.frm");
}

void TestFirmware::folderRememberedOnlyAfterTheFileOpened()
{
    QFETCH(QString, choice);
    QFETCH(bool, create);
    QFETCH(QString, warning);

    SettingsStore(QStringLiteral("KELDORA_NODE")).setValue(QStringLiteral("LastFirmwarePath"), QStringLiteral("/before"));
    connectBootloader(false);
    flashButton()->setEnabled(true); // a copy made earlier
    QString path;
    if (!choice.isEmpty())
        path = create ? writeFile(choice, distinctBytes(10)) : files->filePath(choice);
    if (choice.startsWith(QLatin1String("dir_")))
        QVERIFY(QDir().mkpath(path));
    if (choice.startsWith(QLatin1String("zero_")))
        QVERIFY(QFile::link(QStringLiteral("/dev/zero"), path));
    if (choice.startsWith(QLatin1String("fifo_")))
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    sendFile(path);

    QCOMPARE(dialogCalls.size(), 1);
    QCOMPARE(dialogCalls.at(0).folder, QStringLiteral("/before"));
    QCOMPARE(lastFirmwarePath(), QStringLiteral("/before"));
    QCOMPARE(answerer->texts(), warning.isEmpty() ? QStringList() : QStringList{ warning });
    if (!warning.isEmpty()) {
        QCOMPARE(answerer->seen.at(0).title, vantor);
        QCOMPARE(answerer->seen.at(0).icon, QMessageBox::Warning);
        QCOMPARE(answerer->seen.at(0).offered, QMessageBox::StandardButtons(QMessageBox::Ok));
    }
    QVERIFY(link->writes.isEmpty());
    QVERIFY(flashButton()->isEnabled());
}

void TestFirmware::noConnectorNoDialog()
{
    nextChoice = writeFile(QStringLiteral("fw_boot.frm"), distinctBytes(10));
    firmware()->send();
    firmware()->flash();
    QVERIFY(dialogCalls.isEmpty());
    QVERIFY(answerer->seen.isEmpty());
}

void TestFirmware::nameChecksThroughTheWindow_data()
{
    QTest::addColumn<bool>("modeKnown");
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("typeKnown");
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("warning"); // empty: accepted and sent

    const QString notMain = QString::fromUtf8("прошивка не основная");
    const QString notBoot = QString::fromUtf8("прошивка не bootloader");
    const QString wrongBoard = QString::fromUtf8("имя файла не соответствует типу платы: %1");

    // The rules are the file check's; here the board the session found decides.
    QTest::newRow("mode unknown wants a bootloader") << false << 0 << false << 0 << "fw_main.frm" << notBoot;
    QTest::newRow("capitals, type 1, bootloader") << true << 1 << true << 1 << "FW_MAIN_VRELL_A.FRM" << QString();
    QTest::newRow("main running wants a bootloader") << true << 0 << true << 2 << "fw_main_vrell_b.frm" << notBoot;
    QTest::newRow("wrong board") << true << 1 << true << 4 << "fw_main_vrell_a.frm" << wrongBoard.arg("VRELL_D");
    QTest::newRow("folder says main, name does not") << true << 1 << true << 1 << "main/fw_boot_vrell_a.frm" << notMain;
}

void TestFirmware::nameChecksThroughTheWindow()
{
    QFETCH(bool, modeKnown);
    QFETCH(int, mode);
    QFETCH(bool, typeKnown);
    QFETCH(int, type);
    QFETCH(QString, file);
    QFETCH(QString, warning);

    connectBoard(modeKnown, quint8(mode), typeKnown, quint16(type));
    answerer->queueButton(QMessageBox::Ok);
    answerer->queueButton(QMessageBox::No);
    sendFile(writeFile(file, distinctBytes(300)));

    if (warning.isEmpty()) {
        QCOMPARE(blockWrites().size(), 2);
        QCOMPARE(answerer->texts().value(0), copied);
    } else {
        QVERIFY(link->writes.isEmpty());
        QCOMPARE(answerer->texts(), QStringList{ warning });
        QCOMPARE(answerer->seen.at(0).title, vantor);
        QCOMPARE(answerer->seen.at(0).icon, QMessageBox::Warning);
    }
}

void TestFirmware::refusedImageSendsNothing_data()
{
    QTest::addColumn<bool>("runLength");
    QTest::addColumn<qint64>("size");   // a sparse file of zeros
    QTest::addColumn<bool>("distinct"); // bytes without runs instead
    QTest::addColumn<QString>("warning");

    const QString tooLarge = QString::fromUtf8("Файл прошивки слишком велик: блоков 65537, допустимо не более 65536\n");
    QTest::newRow("empty, legacy") << false << qint64(0) << false << QString::fromUtf8("Файл прошивки пуст\n");
    QTest::newRow("empty, rle") << true << qint64(0) << false << QString::fromUtf8("Файл прошивки пуст\n");
    // One byte beyond 65536 blocks of 250 bytes: refused by its size, unread.
    QTest::newRow("oversize") << false << qint64(65536LL * 250 + 1) << false << tooLarge;
    // Bytes without runs code to literal tokens of 243 bytes, one per packet;
    // the last two bytes need a packet of their own: 65537 in all.
    QTest::newRow("too many packets") << true << qint64(65536LL * 243 + 2) << true << tooLarge;
}

void TestFirmware::refusedImageSendsNothing()
{
    QFETCH(bool, runLength);
    QFETCH(qint64, size);
    QFETCH(bool, distinct);
    QFETCH(QString, warning);

    connectBootloader(runLength);
    flashButton()->setEnabled(true); // the board still holds an earlier copy
    const QString path = writeFile(QStringLiteral("fw_main_vrell_a.frm"), distinct ? distinctBytes(int(size)) : QByteArray());
    if (!distinct)
        QVERIFY(QFile(path).resize(size));
    sendFile(path);

    QVERIFY(link->writes.isEmpty());
    QCOMPARE(answerer->texts(), QStringList{ warning });
    QCOMPARE(answerer->seen.at(0).icon, QMessageBox::Warning);
    QCOMPARE(answerer->seen.at(0).title, vantor);
    QVERIFY(flashButton()->isEnabled());
    QCOMPARE(child<QProgressBar>("progressBar")->value(), 0);
    // The file did open.
    QCOMPARE(lastFirmwarePath(), QFileInfo(path).absolutePath());
}

// ---- Transfer ----

void TestFirmware::methodLineInTheDump_data()
{
    QTest::addColumn<bool>("modeKnown");
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("typeKnown");
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("bootloader");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("firstOpcode");

    QTest::newRow("rle") << true << 1 << true << 1 << "1.0.7" << "fw_main_vrell_a.frm"
                         << "[firmware] send method=RLE board=VRELL_A bootloader=1.0.7 file=fw_main_vrell_a.frm"
                         << 0xB4;
    QTest::newRow("bootloader image") << true << 0 << true << 2 << "1.1.0" << "fw_boot_vrell_b.frm"
                                      << "[firmware] send method=LEGACY board=VRELL_B bootloader=1.1.0 file=fw_boot_vrell_b.frm"
                                      << 0xB0;
}

void TestFirmware::methodLineInTheDump()
{
    QFETCH(bool, modeKnown);
    QFETCH(int, mode);
    QFETCH(bool, typeKnown);
    QFETCH(int, type);
    QFETCH(QString, bootloader);
    QFETCH(QString, file);
    QFETCH(QString, line);
    QFETCH(int, firstOpcode);

    connectBoard(modeKnown, quint8(mode), typeKnown, quint16(type), bootloader);
    child<QAction>("action")->setChecked(true);
    answerer->queueButton(QMessageBox::Ok);
    answerer->queueButton(QMessageBox::No);
    sendFile(writeFile(QStringLiteral("sub/") + file, distinctBytes(600)));

    const QStringList lines = child<QPlainTextEdit>("plainTextEditDebugDump")->toPlainText().split(QLatin1Char('\n'));
    QStringList firmwareLines;
    for (const QString& l : lines) {
        if (l.contains(QLatin1String("[firmware]")))
            firmwareLines << l.section(QStringLiteral("  "), 1);
    }
    QCOMPARE(firmwareLines, QStringList{ line });
    QVERIFY(!blockWrites().isEmpty());
    QCOMPARE(int(quint8(blockWrites().first().at(0))), firstOpcode);
}

void TestFirmware::progressCountsImageBytes_data()
{
    QTest::addColumn<bool>("runLength");
    QTest::addColumn<QByteArray>("image");
    QTest::addColumn<QList<int>>("beforeEachBlock");

    QTest::newRow("legacy 600") << false << distinctBytes(600) << QList<int>{ 0, 250, 500 };
    QByteArray mixed = distinctBytes(500) + QByteArray(40000, '\xFF') + distinctBytes(10);
    QTest::newRow("rle mixed") << true << mixed << QList<int>{ 0, 243, 486, 500, 33268 };
}

void TestFirmware::progressCountsImageBytes()
{
    QFETCH(bool, runLength);
    QFETCH(QByteArray, image);
    QFETCH(QList<int>, beforeEachBlock);

    connectBootloader(runLength);
    auto* bar = child<QProgressBar>("progressBar");
    bar->setRange(0, 5);
    bar->setValue(3);
    QList<int> seen;
    QList<int> maxima;
    link->onWrite = [&](const QByteArray&) {
        seen << bar->value();
        maxima << bar->maximum();
    };
    answerer->queueButton(QMessageBox::Ok);
    answerer->queueButton(QMessageBox::No);
    sendFile(writeFile(QStringLiteral("fw_main_vrell_a.frm"), image));

    QCOMPARE(seen, beforeEachBlock);
    QCOMPARE(maxima, QVector<int>(beforeEachBlock.size(), image.size()).toList());
    QCOMPARE(bar->minimum(), 0);
    QCOMPARE(bar->value(), image.size());
}

void TestFirmware::failedBlockStopsTheTransfer_data()
{
    QTest::addColumn<ScriptedConnector::Step>("failure");
    QTest::addColumn<int>("repeats");
    QTest::addColumn<int>("writes");
    QTest::addColumn<QString>("message");

    QTest::newRow("write fails") << ScriptedConnector::writeFailure() << 1 << 2
                                 << QString::fromUtf8("Ошибка записи блока 1\n");
    QTest::newRow("no acknowledgement") << ScriptedConnector::silence() << 3 << 4
                                        << QString::fromUtf8("Ошибка записи блока 1!\n");
}

void TestFirmware::failedBlockStopsTheTransfer()
{
    QFETCH(ScriptedConnector::Step, failure);
    QFETCH(int, repeats);
    QFETCH(int, writes);
    QFETCH(QString, message);

    connectBootloader(false);
    flashButton()->setEnabled(true);
    link->queue(ScriptedConnector::replyHex("c9"));
    for (int i = 0; i < repeats; ++i)
        link->queue(failure);
    sendFile(writeFile(QStringLiteral("fw_main_vrell_a.frm"), distinctBytes(1000)));

    QCOMPARE(link->writes.size(), writes);
    QCOMPARE(answerer->texts(), QStringList{ message });
    QCOMPARE(answerer->seen.at(0).icon, QMessageBox::Warning);
    QCOMPARE(answerer->seen.at(0).title, vantor);
    QVERIFY(!flashButton()->isEnabled());
    QCOMPARE(child<QProgressBar>("progressBar")->value(), 250); // keeps its last value
    for (QDialog* d : window->findChildren<QDialog*>())
        QVERIFY2(!d->inherits("WaitDialog"), "wait dialog left behind");
}

void TestFirmware::failedBlockNumberFollowsTheWindowLocale()
{
    const QLocale before;
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    cleanup();
    init();
    QLocale::setDefault(before);

    connectBootloader(false);
    link->setResponder([](const QByteArray& request) {
        return blockNumber(request) < 1234 ? ScriptedConnector::replyHex("c9")
                                                 : ScriptedConnector::silence();
    });
    sendFile(writeFile(QStringLiteral("fw_main_vrell_a.frm"), distinctBytes(1300 * 250)));
    QCOMPARE(link->writes.size(), 1234 + 3);
    QCOMPARE(answerer->texts(), QStringList{ QString::fromUtf8("Ошибка записи блока 1,234!\n") });
}

void TestFirmware::waitDialogStaysUpAndEventsRunBetweenBlocks()
{
    connectBootloader(false);
    QStringList modalAtWrite;
    bool posted = false;
    bool ran = false;
    QList<bool> ranAtWrite;
    link->onWrite = [&](const QByteArray& request) {
        QWidget* modal = QApplication::activeModalWidget();
        modalAtWrite << (modal && modal->isVisible() ? QString::fromLatin1(modal->metaObject()->className())
                                                     : QString());
        ranAtWrite << ran;
        const int number = blockNumber(request);
        if (number == 0 && !posted) {
            posted = true;
            QMetaObject::invokeMethod(window.get(), [&] { ran = true; }, Qt::QueuedConnection);
        }
        if (number == 1 && modal) {
            // A technician presses Escape, then tries to close the box.
            QTest::keyClick(modal, Qt::Key_Escape);
            modal->close();
        }
    };
    answerer->queueButton(QMessageBox::Ok);
    answerer->queueButton(QMessageBox::No);
    sendFile(writeFile(QStringLiteral("fw_main_vrell_a.frm"), distinctBytes(1000)));

    QCOMPARE(modalAtWrite, QVector<QString>(4, QStringLiteral("WaitDialog")).toList());
    QCOMPARE(ranAtWrite, (QList<bool>{ false, true, true, true })); // after the first acknowledged block
    QCOMPARE(answerer->texts(), (QStringList{ copied, mainQuestion }));
    QVERIFY(!QApplication::activeModalWidget());
}

// ---- Question and flash ----

void TestFirmware::questionYesFlashesAtOnce_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("question");
    QTest::addColumn<QString>("done");

    QTest::newRow("main firmware") << 1 << "fw_main_vrell_a.frm" << mainQuestion
                                   << QString::fromUtf8("Основная прошивка обновлена\n");
    QTest::newRow("bootloader") << 0 << "fw_boot_vrell_a.frm" << bootQuestion
                                << QString::fromUtf8("Загрузчик обновлён\n");
}

void TestFirmware::questionYesFlashesAtOnce()
{
    QFETCH(int, mode);
    QFETCH(QString, file);
    QFETCH(QString, question);
    QFETCH(QString, done);

    connectBoard(true, quint8(mode), true, 1);
    answerer->queueButton(QMessageBox::Ok);
    answerer->queueButton(QMessageBox::Yes);
    answerer->queueButton(QMessageBox::Ok);
    sendFile(writeFile(file, distinctBytes(300)));

    QCOMPARE(answerer->texts(), (QStringList{ copied, question, done }));
    const ModalAnswerer::Seen& asked = answerer->seen.at(1);
    QCOMPARE(asked.title, vantor);
    QCOMPARE(asked.icon, QMessageBox::Question);
    QCOMPARE(asked.offered, QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(asked.defaultButton, QMessageBox::Yes);
    QCOMPARE(link->writes.size(), 4);
    QCOMPARE(link->writes.at(2), QByteArray::fromHex("67"));
    QCOMPARE(link->writes.at(3), QByteArray::fromHex("64")); // status read back
    QVERIFY(!flashButton()->isEnabled());
}

void TestFirmware::answeringNoLeavesFlashEnabled()
{
    connectBootloader(true);
    answerer->queueButton(QMessageBox::Ok);
    answerer->queueButton(QMessageBox::No);
    sendFile(writeFile(QStringLiteral("fw_main_vrell_a.frm"), distinctBytes(300)));
    QCOMPARE(answerer->texts(), (QStringList{ copied, mainQuestion }));
    QVERIFY(flashButton()->isEnabled());
    QVERIFY(!link->writes.contains(QByteArray::fromHex("67")));

    // A later click flashes without a new transfer.
    const int before = link->writes.size();
    answerer->reset();
    answerer->queueButton(QMessageBox::Ok);
    flashButton()->click();
    QCOMPARE(link->writes.mid(before), (QList<QByteArray>{ QByteArray::fromHex("67"), QByteArray::fromHex("64") }));
    QCOMPARE(answerer->texts(), QStringList{ QString::fromUtf8("Основная прошивка обновлена\n") });
    QVERIFY(!flashButton()->isEnabled());
}

void TestFirmware::flashOutcomes_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<ScriptedConnector::Step>("reply");
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("icon");
    QTest::addColumn<QList<QByteArray>>("sent");
    QTest::addColumn<QString>("errorLabel");

    const QString mainError = QString::fromUtf8("Ошибка команды записи основной прошивки\n");
    const QString bootError = QString::fromUtf8("Ошибка команды записи загрузчика\n");
    const QByteArray flash = QByteArray::fromHex("67");
    const QByteArray status = QByteArray::fromHex("64");
    const QByteArray error = QByteArray::fromHex("79");
    const int warning = QMessageBox::Warning;

    QTest::newRow("main, success") << 1 << ScriptedConnector::replyHex("c9")
                                   << QString::fromUtf8("Основная прошивка обновлена\n") << int(QMessageBox::Information)
                                   << QList<QByteArray>{ flash, status } << "-";
    QTest::newRow("boot, success") << 0 << ScriptedConnector::replyHex("c9")
                                   << QString::fromUtf8("Загрузчик обновлён\n") << int(QMessageBox::Information)
                                   << QList<QByteArray>{ flash, status } << "-";
    QTest::newRow("main, refused 5") << 1 << ScriptedConnector::replyHex("c8 05000000")
                                     << mainError + QString::fromUtf8("Код ошибки: 5\n") << warning
                                     << QList<QByteArray>{ flash, error } << "5";
    QTest::newRow("main, no answer") << 1 << ScriptedConnector::silence() << mainError << warning
                                     << QList<QByteArray>{ flash, error } << "5";
    QTest::newRow("boot, write fails") << 0 << ScriptedConnector::writeFailure() << bootError << warning
                                       << QList<QByteArray>{ flash } << "-";
}

void TestFirmware::flashOutcomes()
{
    QFETCH(int, mode);
    QFETCH(ScriptedConnector::Step, reply);
    QFETCH(QString, message);
    QFETCH(int, icon);
    QFETCH(QList<QByteArray>, sent);
    QFETCH(QString, errorLabel);

    connectBoard(true, quint8(mode), true, 1);
    child<QLabel>("labelErrorStatusValue")->setText(QStringLiteral("-"));
    flashButton()->setEnabled(true);
    link->setTimeout(777);
    link->queue(reply);
    QString waitText;
    link->onWrite = [&](const QByteArray& request) {
        if (request == QByteArray::fromHex("67")) {
            QMetaObject::invokeMethod(
                window.get(),
                [&] {
                    QWidget* modal = QApplication::activeModalWidget();
                    if (modal && modal->inherits("WaitDialog")) {
                        for (QLabel* l : modal->findChildren<QLabel*>())
                            waitText += l->text();
                    }
                },
                Qt::QueuedConnection);
        }
    };
    firmware()->flash();

    QCOMPARE(answerer->texts(), QStringList{ message });
    QCOMPARE(int(answerer->seen.at(0).icon), icon);
    QCOMPARE(answerer->seen.at(0).title, vantor);
    QCOMPARE(link->writes, sent);
    QVERIFY(!flashButton()->isEnabled());
    QCOMPARE(child<QLabel>("labelErrorStatusValue")->text(), errorLabel);
    QCOMPARE(link->getTimeout(), 777);
    if (reply.kind == ScriptedConnector::Step::WriteFailure) {
        QVERIFY(link->readTimeouts.isEmpty());
        QVERIFY(waitText.isEmpty());
    } else {
        QCOMPARE(link->readTimeouts.value(0), 60000);
        QCOMPARE(waitText, mode == 1 ? QString::fromUtf8("Подождите, выполняется запись основной прошивки...")
                                     : QString::fromUtf8("Подождите, выполняется запись загрузчика..."));
    }
    QVERIFY(!QApplication::activeModalWidget());
}

// ---- The technician disconnects ----

void TestFirmware::disconnectDuringTransferStopsCleanly_data()
{
    QTest::addColumn<int>("disconnectAtBlock");
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<int>("writes");

    QTest::newRow("in the middle") << 1 << QStringList{ QString::fromUtf8("Ошибка записи блока 2\n") } << 2;
    // Every block arrived; only the question and the flash are left out.
    QTest::newRow("after the last block") << 3 << QStringList{ copied } << 4;
}

void TestFirmware::disconnectDuringTransferStopsCleanly()
{
    QFETCH(int, disconnectAtBlock);
    QFETCH(QStringList, messages);
    QFETCH(int, writes);

    connectBootloader(false);
    // Only the window holds the link from here on.
    QList<QByteArray> sent;
    link->onWrite = [&](const QByteArray& request) {
        sent << request;
        if (blockNumber(request) == disconnectAtBlock)
            disconnectLater();
    };
    const QWeakPointer<ScriptedConnector> watch = link;
    link.reset();

    sendFile(writeFile(QStringLiteral("fw_main_vrell_a.frm"), distinctBytes(1000)));

    QCOMPARE(sent.size(), writes);
    QCOMPARE(answerer->texts(), messages);
    QVERIFY(!session()->hasLink());
    QVERIFY(watch.isNull()); // the transfer let go of the link when it stopped
    QVERIFY(!flashButton()->isEnabled());
    QVERIFY(!QApplication::activeModalWidget());
}

void TestFirmware::disconnectDuringFlashWaitSkipsTheRead()
{
    connectBootloader(false);
    flashButton()->setEnabled(true);
    link->onWrite = [&](const QByteArray& request) {
        if (request == QByteArray::fromHex("67"))
            disconnectLater();
    };
    firmware()->flash();

    QCOMPARE(link->writes, QList<QByteArray>{ QByteArray::fromHex("67") });
    QVERIFY(link->readTimeouts.isEmpty());
    QCOMPARE(answerer->texts(), QStringList{ QString::fromUtf8("Ошибка команды записи основной прошивки\n") });
    QVERIFY(!flashButton()->isEnabled());
    QVERIFY(!session()->hasLink());
    QVERIFY(!QApplication::activeModalWidget());
}

QTEST_MAIN(TestFirmware)
#include "tst_firmware.moc"
