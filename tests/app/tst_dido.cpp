// The DI/DO editor as a technician relies on it: the pairing rules while
// editing, "Повторить везде", what the four buttons send and say, and the
// refusal to send a number that is outside its editor's range.

#include "boardmemory.h"
#include "didocells.h"
#include "didopanel.h"
#include "didotables.h"
#include "modalanswerer.h"
#include "popupmenuanswerer.h"
#include "scriptedconnector.h"
#include "testsettings.h"
#include "referenceframes.h"

#include <QtTest>

#include <memory>

using namespace DiDoCells;

namespace {

const QString repeatText = QStringLiteral("Повторить везде");

QByteArray repeated(const QByteArray& piece, int times)
{
    QByteArray out;
    for (int i = 0; i < times; ++i)
        out += piece;
    return out;
}

// Commands and data lengths of the blocks written (the reads that check them
// left out), as "a2/64".
QStringList requestShapes(const QList<QByteArray>& writes)
{
    QStringList out;
    for (const QByteArray& w : writes) {
        if (w.size() > 1)
            out << QStringLiteral("%1/%2").arg(quint8(w.at(0)), 2, 16, QLatin1Char('0')).arg(w.size() - 1);
    }
    return out;
}

} // namespace

Q_DECLARE_METATYPE(ScriptedConnector::Step)

class TestDiDoEditor : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void rowsAndColumnsFollowTheBoard_data();
    void rowsAndColumnsFollowTheBoard();

    void diDpPairGreysAndFlipsPartner();
    void diDpNeverChains();
    void lastChannelNeverPairs_data();
    void lastChannelNeverPairs();
    void dpRoleFollowsPartnerOnlyWhenPaired();
    void collectDropsChainedAndLastChannelPairs();

    void doGroupOrCommonGreysNextRow_data();
    void doGroupOrCommonGreysNextRow();
    void freedDoRowReleasesTheOneAfter();
    void lastDoRowGreysNothing();
    void doDpUsableOnlyInGroup();
    void shownRecordKeepsDoDpRule();
    void unknownDoModeGoesBackAsRead();

    void repeatFromTableReachesGreyedRows();
    void repeatFromCellEditors_data();
    void repeatFromCellEditors();
    void repeatMenuOnlyWhereItBelongs_data();
    void repeatMenuOnlyWhereItBelongs();

    void zeroAddressShowsEmptyAndEmptyStoresZero();

    void resetThenSaveWritesFactoryValues();
    void saveSaysWhatTheBoardHolds_data();
    void saveSaysWhatTheBoardHolds();
    void updateFailureWarnsAndKeepsTables();
    void fillFactoryOutcomes_data();
    void fillFactoryOutcomes();
    void buttonsIdleOutsideMainFirmware_data();
    void buttonsIdleOutsideMainFirmware();

    void outOfRangeValueRefusesSave_data();
    void outOfRangeValueRefusesSave();
    void topOfEachRangeIsSaved();
    void outOfRangeValueNotSentDoesNotBlock();
    void boardValuesGoBackUnchanged_data();
    void boardValuesGoBackUnchanged();

private:
    void useScriptedBoard(quint16 type, const QString& firmware);

    std::unique_ptr<BoardSession> session;
    BoardMemory memory;
    std::unique_ptr<QWidget> host;
    DiDoPanel* panel = nullptr;
    QSharedPointer<ScriptedConnector> link;
    QTableWidget* di = nullptr;
    QTableWidget* dout = nullptr;
};

void TestDiDoEditor::initTestCase()
{
    TestSettings::isolate();
}

void TestDiDoEditor::init()
{
    session = std::make_unique<BoardSession>();
    session->setLogging(false);
    host = std::make_unique<QWidget>();
    di = new QTableWidget(host.get());
    dout = new QTableWidget(host.get());
    di->setObjectName(QStringLiteral("tableWidgetDIConfig"));
    dout->setObjectName(QStringLiteral("tableWidgetDOConfig"));
    panel = new DiDoPanel(di, dout, session.get(), host.get());
    link.reset(new ScriptedConnector);
}

void TestDiDoEditor::cleanup()
{
    host.reset();
    session.reset();
    link.reset();
}

void TestDiDoEditor::useScriptedBoard(quint16 type, const QString& firmware)
{
    // A board whose blocks, all zero at first, read back as written.
    memory = BoardMemory::blank(type == 4 ? 32 : 16);
    link->setResponder(memory.responder());
    setBoard(*session, link, type, firmware);
}

// ---- Rows and columns ----

namespace {
QList<int> shownRows(QTableWidget* table)
{
    QList<int> rows;
    for (int r = 0; r < table->rowCount(); ++r) {
        if (!table->isRowHidden(r))
            rows << r;
    }
    return rows;
}
} // namespace

void TestDiDoEditor::rowsAndColumnsFollowTheBoard_data()
{
    QTest::addColumn<bool>("typeKnown");
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("firmware"); // empty: not read
    QTest::addColumn<bool>("diEnabled");
    QTest::addColumn<int>("diRows");
    QTest::addColumn<bool>("doShown");
    QTest::addColumn<bool>("ninthOutput");
    QTest::addColumn<bool>("extended"); // DI columns 3 to 6
    QTest::addColumn<bool>("debounce"); // DI column 7
    QTest::addColumn<bool>("doDp");     // DO column 4

    QTest::newRow("nothing known") << false << 3 << "" << true << 16 << true << true << false << false << false;
    QTest::newRow("type unknown, 0.0.6") << false << 0 << "0.0.6" << true << 16 << true << true << false << false
                                         << true;
    QTest::newRow("A 0.0.4") << true << 1 << "0.0.4" << true << 16 << true << true << false << false << false;
    QTest::newRow("A 0.0.5") << true << 1 << "0.0.5" << true << 16 << true << true << false << true << true;
    QTest::newRow("A 0.0.6") << true << 1 << "0.0.6" << true << 16 << true << true << true << true << true;
    QTest::newRow("B without version") << true << 2 << "" << true << 16 << true << false << false << true << false;
    QTest::newRow("C 0.0.6") << true << 3 << "0.0.6" << false << 0 << true << false << false << false << true;
    QTest::newRow("D 1.0.0") << true << 4 << "1.0.0" << true << 32 << false << true << true << true << true;
    QTest::newRow("type 9, 0.1.0") << true << 9 << "0.1.0" << true << 16 << true << true << true << true << true;
    QTest::newRow("A, not a version") << true << 1 << "0.0.6a" << true << 16 << true << true << false << false
                                      << false;
}

void TestDiDoEditor::rowsAndColumnsFollowTheBoard()
{
    QFETCH(bool, typeKnown);
    QFETCH(int, type);
    QFETCH(QString, firmware);
    QFETCH(bool, diEnabled);
    QFETCH(int, diRows);
    QFETCH(bool, doShown);
    QFETCH(bool, ninthOutput);
    QFETCH(bool, extended);
    QFETCH(bool, debounce);
    QFETCH(bool, doDp);

    // Start from the opposite extreme so every row, column and flag has to
    // move. A bootloader from 0.0.5 on tells the type whatever the firmware says.
    dout->setRowCount(4);
    setBoard(*session, link, type == 4 ? 3 : 4, type == 4 ? QString() : QStringLiteral("9.9.9"));
    QVERIFY(identify(*session, link, 1, typeKnown ? quint16(type) : 0, firmware));

    QCOMPARE(dout->rowCount(), 9);
    QCOMPARE(di->isEnabledTo(host.get()), diEnabled);
    QList<int> rows;
    for (int r = 0; r < 32; ++r)
        rows << r;
    QCOMPARE(shownRows(di), rows.mid(0, diRows));
    QCOMPARE(!dout->isHidden(), doShown);
    QCOMPARE(shownRows(dout), rows.mid(0, ninthOutput ? 9 : 8));
    for (int c = 3; c <= 6; ++c)
        QCOMPARE(!di->isColumnHidden(c), extended);
    QCOMPARE(!di->isColumnHidden(7), debounce);
    QCOMPARE(!dout->isColumnHidden(4), doDp);
    // Columns outside the rules are never hidden.
    for (int c : {0, 1, 2})
        QVERIFY(!di->isColumnHidden(c));
    for (int c : {0, 1, 2, 3, 5})
        QVERIFY(!dout->isColumnHidden(c));
}

// ---- DI pairing ----

void TestDiDoEditor::diDpPairGreysAndFlipsPartner()
{
    setBoard(*session, link, 1, QStringLiteral("0.0.6"));
    // DI_4 starts its own pair and has the same role as DI_3.
    setChecked(di, 3, DiDp, true);
    combo(di, 2, DiRole)->setCurrentIndex(1);
    combo(di, 3, DiRole)->setCurrentIndex(1);
    QVERIFY(rowGreyed(di, 4));

    setChecked(di, 2, DiDp, true);
    QVERIFY(rowGreyed(di, 3));
    QVERIFY(!checked(di, 3, DiDp));
    QCOMPARE(combo(di, 3, DiRole)->currentIndex(), 0);
    QVERIFY(!clickable(di, 3, DiDp));
    QVERIFY(rowWhite(di, 2));
    QVERIFY2(rowWhite(di, 4), "DI_5 is free again once DI_4 no longer pairs");

    setChecked(di, 2, DiDp, false);
    QVERIFY(rowWhite(di, 3));
    QVERIFY(clickable(di, 3, DiDp));
    QCOMPARE(combo(di, 3, DiRole)->currentIndex(), 0);
}

void TestDiDoEditor::diDpNeverChains()
{
    setBoard(*session, link, 4, QStringLiteral("0.0.6"));
    setChecked(di, 10, DiDp, true);
    setChecked(di, 12, DiDp, true);
    QVERIFY(rowGreyed(di, 11));
    QVERIFY(rowGreyed(di, 13));

    // DI_12 pairing takes DI_13 out of its pair with DI_14.
    setChecked(di, 10, DiDp, false);
    setChecked(di, 11, DiDp, true);
    QVERIFY(rowGreyed(di, 12));
    QVERIFY(!checked(di, 12, DiDp));
    QVERIFY(rowWhite(di, 13));
    for (int r = 0; r < 32; ++r) {
        if (r != 12)
            QVERIFY2(!rowGreyed(di, r), qPrintable(QStringLiteral("row %1").arg(r)));
    }
}

void TestDiDoEditor::lastChannelNeverPairs_data()
{
    QTest::addColumn<quint16>("type");
    QTest::addColumn<int>("lastRow");

    QTest::newRow("16 inputs") << quint16(1) << 15;
    QTest::newRow("32 inputs") << quint16(4) << 31;
}

void TestDiDoEditor::lastChannelNeverPairs()
{
    QFETCH(quint16, type);
    QFETCH(int, lastRow);

    setBoard(*session, link, type, QStringLiteral("1.0.0"));
    setChecked(di, lastRow, DiDp, true);
    QVERIFY(!checked(di, lastRow, DiDp));

    // The one before it still pairs with it.
    setChecked(di, lastRow - 1, DiDp, true);
    QVERIFY(checked(di, lastRow - 1, DiDp));
    QVERIFY(rowGreyed(di, lastRow));

    panel->collectRecord();
    QCOMPARE(int(panel->record().diDpPair[lastRow - 1]), 1);
    QCOMPARE(int(panel->record().diDpPair[lastRow]), 0);
}

void TestDiDoEditor::dpRoleFollowsPartnerOnlyWhenPaired()
{
    setBoard(*session, link, 1, QStringLiteral("0.0.6"));
    setChecked(di, 0, DiDp, true);
    QCOMPARE(combo(di, 1, DiRole)->currentIndex(), 1);
    combo(di, 0, DiRole)->setCurrentIndex(1);
    QCOMPARE(combo(di, 1, DiRole)->currentIndex(), 0);
    combo(di, 0, DiRole)->setCurrentIndex(0);
    QCOMPARE(combo(di, 1, DiRole)->currentIndex(), 1);

    // Unpaired inputs keep their own roles.
    QCOMPARE(combo(di, 5, DiRole)->currentIndex(), 1);
    combo(di, 4, DiRole)->setCurrentIndex(1);
    QCOMPARE(combo(di, 5, DiRole)->currentIndex(), 1);
    // DI_2's role change does not reach DI_3 either (DI_2 is a partner, not a pair start).
    QCOMPARE(combo(di, 2, DiRole)->currentIndex(), 0);
    combo(di, 1, DiRole)->setCurrentIndex(0);
    QCOMPARE(combo(di, 2, DiRole)->currentIndex(), 0);
}

void TestDiDoEditor::collectDropsChainedAndLastChannelPairs()
{
    setBoard(*session, link, 1, QStringLiteral("0.0.6"));
    DiDoConfig record = panel->record();
    record.diDpPair[2] = 1;
    record.diDpPair[3] = 1; // chained onto DI_3's pair
    record.diDpPair[4] = 1;
    record.diDpPair[15] = 1; // last input of the board
    panel->showRecord(record, true);
    QVERIFY(rowGreyed(di, 3));
    QVERIFY(rowGreyed(di, 4));

    panel->collectRecord();
    QList<int> pairs;
    for (int i = 0; i < 32; ++i) {
        if (panel->record().diDpPair[i])
            pairs << i;
    }
    QCOMPARE(pairs, QList<int>({2, 4}));
}

// ---- DO pairing ----

void TestDiDoEditor::doGroupOrCommonGreysNextRow_data()
{
    QTest::addColumn<int>("modeIndex");
    QTest::newRow("Группов.") << 1;
    QTest::newRow("Общ.") << 2;
}

void TestDiDoEditor::doGroupOrCommonGreysNextRow()
{
    QFETCH(int, modeIndex);

    setBoard(*session, link, 1, QStringLiteral("0.0.6"));
    setChecked(dout, 1, DoOn, false);
    combo(dout, 1, DoMode)->setCurrentIndex(1);
    setChecked(dout, 1, DoDp, true);

    combo(dout, 0, DoMode)->setCurrentIndex(modeIndex);
    QVERIFY(rowGreyed(dout, 1));
    QCOMPARE(combo(dout, 1, DoMode)->currentIndex(), 0);
    QVERIFY(checked(dout, 1, DoOn));
    QVERIFY(!checked(dout, 1, DoDp));
    QVERIFY(rowWhite(dout, 2));
    QVERIFY(rowWhite(dout, 0));

    combo(dout, 0, DoMode)->setCurrentIndex(0);
    QVERIFY(rowWhite(dout, 1));
    QVERIFY(!clickable(dout, 1, DoDp));
}

void TestDiDoEditor::freedDoRowReleasesTheOneAfter()
{
    setBoard(*session, link, 1, QStringLiteral("0.0.6"));
    combo(dout, 3, DoMode)->setCurrentIndex(2);
    QVERIFY(rowGreyed(dout, 4));
    // DO_3 taking DO_4 makes DO_4 single, so DO_5 is free again.
    combo(dout, 2, DoMode)->setCurrentIndex(2);
    QVERIFY(rowGreyed(dout, 3));
    QVERIFY(rowWhite(dout, 4));
}

void TestDiDoEditor::lastDoRowGreysNothing()
{
    setBoard(*session, link, 1, QStringLiteral("0.0.6"));
    combo(dout, 8, DoMode)->setCurrentIndex(2);
    combo(dout, 8, DoMode)->setCurrentIndex(1);
    for (int r = 0; r < 9; ++r)
        QVERIFY2(rowWhite(dout, r), qPrintable(QStringLiteral("DO_%1").arg(r + 1)));
    QVERIFY(clickable(dout, 8, DoDp));
    QCOMPARE(combo(dout, 8, DoMode)->currentIndex(), 1);
}

void TestDiDoEditor::doDpUsableOnlyInGroup()
{
    setBoard(*session, link, 1, QStringLiteral("0.0.6"));
    QComboBox* modeBox = combo(dout, 5, DoMode);
    QVERIFY(!clickable(dout, 5, DoDp));
    modeBox->setCurrentIndex(1);
    QVERIFY(clickable(dout, 5, DoDp));
    setChecked(dout, 5, DoDp, true);

    modeBox->setCurrentIndex(2);
    QVERIFY(!clickable(dout, 5, DoDp));
    QVERIFY(!checked(dout, 5, DoDp));

    modeBox->setCurrentIndex(1);
    setChecked(dout, 5, DoDp, true);
    modeBox->setCurrentIndex(0);
    QVERIFY(!clickable(dout, 5, DoDp));
    QVERIFY(!checked(dout, 5, DoDp));
}

void TestDiDoEditor::shownRecordKeepsDoDpRule()
{
    setBoard(*session, link, 1, QStringLiteral("0.0.6"));
    DiDoConfig record = panel->record();
    record.doEntries[0].mode = 1;
    record.doEntries[0].dp = 1;
    record.doEntries[1].dp = 1; // single output with a stray flag
    panel->showRecord(record, true);

    QVERIFY(clickable(dout, 0, DoDp));
    QVERIFY(checked(dout, 0, DoDp));
    QVERIFY(rowGreyed(dout, 1));
    QVERIFY(!checked(dout, 1, DoDp));
    // Rows painted white by the record still follow their own mode.
    for (int r = 2; r < 9; ++r) {
        QVERIFY(rowWhite(dout, r));
        QVERIFY2(!clickable(dout, r, DoDp), qPrintable(QStringLiteral("DO_%1").arg(r + 1)));
        // and it looks unusable too
        QVERIFY2(!(dout->item(r, DoDp)->flags() & Qt::ItemIsEnabled), qPrintable(QStringLiteral("DO_%1").arg(r + 1)));
    }
}

void TestDiDoEditor::unknownDoModeGoesBackAsRead()
{
    setBoard(*session, link, 1, QStringLiteral("0.0.6"));
    DiDoConfig record = panel->record();
    record.doEntries[4].mode = 7;
    panel->showRecord(record, true);
    panel->collectRecord();
    QCOMPARE(int(panel->record().doEntries[4].mode), 7);
}

// ---- "Повторить везде" ----

void TestDiDoEditor::repeatFromTableReachesGreyedRows()
{
    setBoard(*session, link, 1, QStringLiteral("0.0.6"));
    host->show();
    QVERIFY(QTest::qWaitForWindowExposed(host.get()));

    setChecked(di, 2, DiDp, true);
    QVERIFY(rowGreyed(di, 3));
    combo(di, 4, DiNominal)->setCurrentIndex(1);

    di->scrollToItem(di->item(4, DiNominal));
    const QPoint pos = di->visualRect(di->model()->index(4, DiNominal)).center();
    PopupMenuAnswerer answerer(repeatText);
    emit di->customContextMenuRequested(pos);

    QCOMPARE(answerer.menus, QList<QStringList>({{repeatText}}));
    for (int r = 0; r < 16; ++r)
        QVERIFY2(combo(di, r, DiNominal)->currentText() == QLatin1String("220 V"), qPrintable(QString::number(r)));
    // Rows the board does not have stay as they were.
    QCOMPARE(combo(di, 16, DiNominal)->currentIndex(), 0);
}

void TestDiDoEditor::repeatFromCellEditors_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("value");

    QTest::newRow("Тип") << int(DiType) << QStringLiteral("AC");
    QTest::newRow("Номинал") << int(DiNominal) << QStringLiteral("220 V");
    QTest::newRow("Антидребезг") << int(DiDebounce) << QStringLiteral("250");
}

void TestDiDoEditor::repeatFromCellEditors()
{
    QFETCH(int, column);
    QFETCH(QString, value);

    setBoard(*session, link, 4, QStringLiteral("0.0.6"));
    setChecked(di, 30, DiDp, true);
    QVERIFY(rowGreyed(di, 31));

    QWidget* source = di->cellWidget(20, column);
    if (auto* box = qobject_cast<QComboBox*>(source))
        box->setCurrentIndex(box->findText(value));
    else
        qobject_cast<QLineEdit*>(source)->setText(value);

    PopupMenuAnswerer answerer(repeatText);
    emit source->customContextMenuRequested(QPoint(2, 2));
    QCOMPARE(answerer.menus.size(), 1);

    for (int r = 0; r < 32; ++r) {
        QWidget* cell = di->cellWidget(r, column);
        const QString shown = qobject_cast<QComboBox*>(cell) ? qobject_cast<QComboBox*>(cell)->currentText()
                                                              : qobject_cast<QLineEdit*>(cell)->text();
        QVERIFY2(shown == value, qPrintable(QStringLiteral("DI_%1 shows %2").arg(r + 1).arg(shown)));
    }
}

void TestDiDoEditor::repeatMenuOnlyWhereItBelongs_data()
{
    QTest::addColumn<quint16>("type");
    QTest::addColumn<QString>("firmware");
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");

    QTest::newRow("address column") << quint16(1) << QStringLiteral("0.0.6") << 3 << int(DiAddr);
    QTest::newRow("role column") << quint16(1) << QStringLiteral("0.0.6") << 3 << int(DiRole);
    QTest::newRow("input the board lacks") << quint16(1) << QStringLiteral("0.0.6") << 16 << int(DiType);
    QTest::newRow("hidden debounce column") << quint16(1) << QStringLiteral("0.0.4") << 3 << int(DiDebounce);
    QTest::newRow("hidden type column") << quint16(2) << QStringLiteral("0.0.5") << 3 << int(DiType);
}

void TestDiDoEditor::repeatMenuOnlyWhereItBelongs()
{
    QFETCH(quint16, type);
    QFETCH(QString, firmware);
    QFETCH(int, row);
    QFETCH(int, column);

    setBoard(*session, link, type, firmware);
    const QString before = edit(di, 0, DiDebounce)->text();
    edit(di, row, DiDebounce)->setText(QStringLiteral("77"));
    PopupMenuAnswerer answerer(repeatText);
    panel->tables()->showRepeatMenu(row, column, QPoint(10, 10));
    if (QWidget* cell = di->cellWidget(row, column))
        emit cell->customContextMenuRequested(QPoint(2, 2));
    QTest::qWait(30);
    QCOMPARE(answerer.menus.size(), 0);
    QCOMPARE(edit(di, 0, DiDebounce)->text(), before);
}

// ---- Addresses ----

void TestDiDoEditor::zeroAddressShowsEmptyAndEmptyStoresZero()
{
    setBoard(*session, link, 1, QStringLiteral("0.0.6"));
    DiDoConfig record = panel->record();
    record.diEntries[1].setObjectAddress(0);
    record.diEntries[2].setObjectAddress(4095);
    record.doEntries[3].setObjectAddress(0);
    record.doEntries[4].setObjectAddress(17);
    panel->showRecord(record, true);
    QCOMPARE(edit(di, 1, DiAddr)->text(), QString());
    QCOMPARE(edit(di, 2, DiAddr)->text(), QStringLiteral("4095"));
    QCOMPARE(edit(dout, 3, DoAddr)->text(), QString());
    QCOMPARE(edit(dout, 4, DoAddr)->text(), QStringLiteral("17"));

    edit(di, 2, DiAddr)->clear();
    edit(dout, 4, DoAddr)->clear();
    edit(di, 5, DiAddr)->setText(QStringLiteral("300"));
    panel->collectRecord();
    QCOMPARE(panel->record().diEntries[2].objectAddress(), 0u);
    QCOMPARE(panel->record().doEntries[4].objectAddress(), 0u);
    QCOMPARE(panel->record().diEntries[5].objectAddress(), 300u);
}

// ---- Buttons ----

void TestDiDoEditor::resetThenSaveWritesFactoryValues()
{
    useScriptedBoard(1, QStringLiteral("0.0.6"));

    // Whatever the technician had typed goes away.
    edit(di, 0, DiDebounce)->setText(QStringLiteral("40"));
    edit(di, 3, DiAddr)->setText(QStringLiteral("12"));
    setChecked(di, 6, DiDp, true);
    combo(di, 9, DiType)->setCurrentIndex(1);
    setChecked(di, 2, DiOn, false);
    combo(dout, 2, DoMode)->setCurrentIndex(2);
    edit(dout, 0, DoHold)->setText(QStringLiteral("900"));

    panel->resetToFactory();
    QVERIFY(link->writes.isEmpty());
    QVERIFY(rowWhite(di, 7));
    QVERIFY(rowWhite(dout, 3));

    ModalAnswerer answerer;
    panel->save();

    QCOMPARE(requestShapes(link->writes), QStringList({"a2/64", "a8/64", "a9/64", "a6/144"}));
    QCOMPARE(link->writes.at(0), char(0xA2) + repeated(hex("00000001"), 16));
    QCOMPARE(link->writes.at(1), char(0xA8) + repeated(hex("03000000"), 16));
    QCOMPARE(link->writes.at(2), char(0xA9) + repeated(hex("00000000 00010000"), 8));
    QCOMPARE(link->writes.at(3), char(0xA6) + repeated(hex("00000001 00000000 00000000 00000000"), 9));

    QCOMPARE(answerer.seen.size(), 1);
    QCOMPARE(answerer.seen.at(0).title, QStringLiteral("Vantor"));
    QCOMPARE(answerer.seen.at(0).text, QStringLiteral("Параметры DI/DO успешно записаны\n"));
    QCOMPARE(answerer.seen.at(0).icon, QMessageBox::Information);
}

void TestDiDoEditor::saveSaysWhatTheBoardHolds_data()
{
    QTest::addColumn<QList<ScriptedConnector::Step>>("steps"); // answers to the writes, before the board's own
    QTest::addColumn<QByteArray>("stored");                    // what the board keeps of the DI table; empty: as sent
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("icon");

    using S = ScriptedConnector;
    QTest::newRow("kept as sent") << QList<S::Step>() << QByteArray() << "Параметры DI/DO успешно записаны\n"
                                  << int(QMessageBox::Information);
    // Every step is attempted even after one failed.
    QTest::newRow("blocks refused") << QList<S::Step>({ S::silence(), S::replyHex("c8 01 00 00 00"), S::writeFailure(),
                                                        S::replyHex("c9") })
                                    << QByteArray() << "Ошибка записи параметров DI/DO\n" << int(QMessageBox::Warning);
    // Acknowledged, but the board holds DI_4 at 15 instead of the 12 sent.
    QTest::newRow("board keeps another value")
        << QList<S::Step>() << repeated(hex("00000001"), 3) + hex("0f000001") + repeated(hex("00000001"), 12)
        << "Устройство подтвердило запись, но хранит другие значения (поле: в устройстве -> записано):\n"
           "di[3].address: 15 -> 12\n"
        << int(QMessageBox::Warning);
}

void TestDiDoEditor::saveSaysWhatTheBoardHolds()
{
    QFETCH(QList<ScriptedConnector::Step>, steps);
    QFETCH(QByteArray, stored);
    QFETCH(QString, text);
    QFETCH(int, icon);

    useScriptedBoard(1, QStringLiteral("0.0.6"));
    link->queue(steps);
    if (!stored.isEmpty()) {
        link->setResponder([this, stored](const QByteArray& request) {
            return quint8(request.at(0)) == 0xA0 ? ScriptedConnector::reply(char(0xA0) + stored)
                                                 : *memory.answer(request);
        });
    }
    edit(di, 3, DiAddr)->setText(QStringLiteral("12"));
    ModalAnswerer answerer;
    panel->save();

    QCOMPARE(requestShapes(link->writes), QStringList({ "a2/64", "a8/64", "a9/64", "a6/144" }));
    QCOMPARE(answerer.texts(), QStringList({ text }));
    QCOMPARE(answerer.seen.at(0).title, QStringLiteral("Vantor"));
    QCOMPARE(int(answerer.seen.at(0).icon), icon);
}

void TestDiDoEditor::updateFailureWarnsAndKeepsTables()
{
    useScriptedBoard(1, QStringLiteral("0.0.6"));
    edit(di, 0, DiAddr)->setText(QStringLiteral("55"));
    // DI table arrives (address 9 on DI_1), the debounce reply is one byte short.
    link->queue(ScriptedConnector::reply(hex("a0 09000001") + repeated(hex("00000001"), 31)));
    link->queue(ScriptedConnector::reply(char(0xA7) + QByteArray(63, '\0')));
    link->queue(ScriptedConnector::reply(char(0xAA) + QByteArray(64, '\0')));
    link->queue(ScriptedConnector::reply(char(0xA4) + QByteArray(144, '\0')));
    ModalAnswerer answerer;
    panel->update();

    QCOMPARE(link->writes.size(), 4);
    QCOMPARE(answerer.seen.size(), 1);
    QCOMPARE(answerer.seen.at(0).title, QStringLiteral("Vantor"));
    QCOMPARE(answerer.seen.at(0).text, QStringLiteral("Ошибка чтения параметров DI/DO\n"));
    QCOMPARE(answerer.seen.at(0).icon, QMessageBox::Warning);
    QCOMPARE(edit(di, 0, DiAddr)->text(), QStringLiteral("55"));

    // A complete read is shown.
    link->writes.clear();
    link->queue(ScriptedConnector::reply(hex("a0 09000001") + repeated(hex("00000001"), 31)));
    panel->update();
    QCOMPARE(answerer.seen.size(), 1);
    QCOMPARE(edit(di, 0, DiAddr)->text(), QStringLiteral("9"));
}

void TestDiDoEditor::fillFactoryOutcomes_data()
{
    QTest::addColumn<QList<ScriptedConnector::Step>>("steps");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("icon");
    QTest::addColumn<int>("requests");

    using S = ScriptedConnector;
    const QList<S::Step> reads = {S::reply(hex("a0 0b000001") + repeated(hex("00000001"), 31)),
                                  S::reply(char(0xA7) + repeated(hex("03000000"), 16)),
                                  S::reply(char(0xAA) + QByteArray(64, '\0')),
                                  S::reply(char(0xA4) + QByteArray(144, '\0'))};

    QTest::newRow("restored and read") << (QList<S::Step>({S::replyHex("c9")}) + reads)
                                       << QStringLiteral("Настройки сброшены, требуется перезагрузка\n")
                                       << int(QMessageBox::Information) << 5;
    QTest::newRow("restored, read fails") << QList<S::Step>({S::replyHex("c9"), S::silence()})
                                          << QStringLiteral("Ошибка чтения параметров\n") << int(QMessageBox::Warning)
                                          << 5;
    QTest::newRow("refused") << QList<S::Step>({S::replyHex("c8 05 00 00 00")})
                             << QStringLiteral("Ошибка сброса настроек\n") << int(QMessageBox::Warning) << 1;
}

void TestDiDoEditor::fillFactoryOutcomes()
{
    QFETCH(QList<ScriptedConnector::Step>, steps);
    QFETCH(QString, text);
    QFETCH(int, icon);
    QFETCH(int, requests);

    useScriptedBoard(1, QStringLiteral("0.0.6"));
    link->queue(steps);
    ModalAnswerer answerer;
    panel->fillFactory();

    QCOMPARE(link->writes.size(), requests);
    QCOMPARE(link->writes.at(0), hex("a1"));
    QCOMPARE(answerer.seen.size(), 1);
    QCOMPARE(answerer.seen.at(0).title, QStringLiteral("Vantor"));
    QCOMPARE(answerer.seen.at(0).text, text);
    QCOMPARE(int(answerer.seen.at(0).icon), icon);
    // Only a complete read shows the board's values.
    QCOMPARE(edit(di, 0, DiAddr)->text(), icon == QMessageBox::Information ? QStringLiteral("11") : QString());
}

void TestDiDoEditor::buttonsIdleOutsideMainFirmware_data()
{
    QTest::addColumn<bool>("withLink");
    QTest::addColumn<bool>("modeKnown");
    QTest::addColumn<int>("mode");

    QTest::newRow("no link") << false << true << 0;
    QTest::newRow("mode unknown") << true << false << 0;
    QTest::newRow("bootloader") << true << true << 1;
}

void TestDiDoEditor::buttonsIdleOutsideMainFirmware()
{
    QFETCH(bool, withLink);
    QFETCH(bool, modeKnown);
    QFETCH(int, mode);

    useScriptedBoard(1, QStringLiteral("0.0.6"));
    QVERIFY(identify(*session, link, modeKnown ? mode : -1, 1, QStringLiteral("0.0.6")));
    if (!withLink)
        session->release();
    edit(di, 0, DiAddr)->setText(QStringLiteral("8"));

    ModalAnswerer answerer;
    panel->update();
    panel->save();
    panel->fillFactory();
    QTest::qWait(20);
    QVERIFY(link->writes.isEmpty());
    QVERIFY(answerer.seen.isEmpty());

    // "Reset to factory" needs no board.
    panel->resetToFactory();
    QCOMPARE(edit(di, 0, DiAddr)->text(), QString());
    QVERIFY(link->writes.isEmpty());
}

// ---- Values outside an editor's range ----

void TestDiDoEditor::outOfRangeValueRefusesSave_data()
{
    QTest::addColumn<bool>("inDi");
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("where");

    QTest::newRow("DI address") << true << 4 << int(DiAddr) << QStringLiteral("9999")
                                << QStringLiteral("DI_5, «Адрес»: 9999 (допустимо 1–4095 или пусто)");
    QTest::newRow("DI debounce") << true << 15 << int(DiDebounce) << QStringLiteral("99999")
                                 << QStringLiteral("DI_16, «Антидребезг, мс»: 99999 (допустимо 0–60000)");
    QTest::newRow("DO address") << false << 0 << int(DoAddr) << QStringLiteral("5000")
                                << QStringLiteral("DO_1, «Адрес»: 5000 (допустимо 1–4095 или пусто)");
    QTest::newRow("DO hold") << false << 8 << int(DoHold) << QStringLiteral("999999")
                             << QStringLiteral("DO_9, «Удержание, мс»: 999999 (допустимо 0–100000)");
}

void TestDiDoEditor::outOfRangeValueRefusesSave()
{
    QFETCH(bool, inDi);
    QFETCH(int, row);
    QFETCH(int, column);
    QFETCH(QString, typed);
    QFETCH(QString, where);

    useScriptedBoard(1, QStringLiteral("0.0.6"));
    QLineEdit* cell = edit(inDi ? di : dout, row, column);
    cell->clear();
    QTest::keyClicks(cell, typed);
    // The validator lets it stay: it has no more digits than the top.
    QCOMPARE(cell->text(), typed);

    const QByteArray before(reinterpret_cast<const char*>(&panel->record()), sizeof(DiDoConfig));
    ModalAnswerer answerer;
    panel->save();

    QVERIFY2(link->writes.isEmpty(), "nothing may reach the board");
    QCOMPARE(answerer.seen.size(), 1);
    QCOMPARE(answerer.seen.at(0).title, QStringLiteral("Vantor"));
    QCOMPARE(answerer.seen.at(0).icon, QMessageBox::Warning);
    QCOMPARE(answerer.seen.at(0).text,
             QStringLiteral("Значения вне допустимого диапазона:\n%1\nПараметры DI/DO не записаны\n").arg(where));
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(&panel->record()), sizeof(DiDoConfig)), before);

    // Corrected, the save goes through.
    cell->setText(QStringLiteral("20"));
    panel->save();
    QCOMPARE(requestShapes(link->writes), QStringList({"a2/64", "a8/64", "a9/64", "a6/144"}));
    QCOMPARE(answerer.seen.size(), 2);
    QCOMPARE(answerer.seen.at(1).text, QStringLiteral("Параметры DI/DO успешно записаны\n"));
}

void TestDiDoEditor::topOfEachRangeIsSaved()
{
    useScriptedBoard(1, QStringLiteral("0.0.6"));
    edit(di, 1, DiAddr)->setText(QStringLiteral("4095"));
    edit(di, 2, DiDebounce)->setText(QStringLiteral("60000"));
    edit(dout, 1, DoAddr)->setText(QStringLiteral("4095"));
    edit(dout, 1, DoHold)->setText(QStringLiteral("100000"));
    edit(dout, 2, DoAddr)->setText(QStringLiteral("0"));
    ModalAnswerer answerer;
    panel->save();

    QCOMPARE(answerer.texts(), QStringList({"Параметры DI/DO успешно записаны\n"}));
    QCOMPARE(link->writes.size(), 8); // each block then read back
    QCOMPARE(link->writes.at(0).mid(1 + 4, 4), hex("ff0f0001"));
    QCOMPARE(link->writes.at(1).mid(1 + 8, 4), hex("60ea0000"));
    QCOMPARE(link->writes.at(3).mid(1 + 16, 16), hex("ff0f0001 00000000 a0860100 00000000"));
    QCOMPARE(link->writes.at(3).mid(1 + 32, 3), hex("000000"));
}

void TestDiDoEditor::outOfRangeValueNotSentDoesNotBlock()
{
    // A 32-input board has no outputs: what sits in the DO table is not sent.
    useScriptedBoard(4, QStringLiteral("0.0.6"));
    edit(dout, 0, DoHold)->setText(QStringLiteral("999999"));
    {
        ModalAnswerer answerer;
        panel->save();
        QCOMPARE(answerer.texts(), QStringList({"Параметры DI/DO успешно записаны\n"}));
        QCOMPARE(requestShapes(link->writes), QStringList({"a2/128", "a8/128", "a9/128"}));
    }

    // Nor is the debounce column of a board without debounce.
    init();
    useScriptedBoard(1, QStringLiteral("0.0.4"));
    edit(di, 0, DiDebounce)->setText(QStringLiteral("99999"));
    ModalAnswerer second;
    panel->save();
    QCOMPARE(second.texts(), QStringList({"Параметры DI/DO успешно записаны\n"}));
    QCOMPARE(requestShapes(link->writes), QStringList({"a2/64", "a5/108"}));
}

void TestDiDoEditor::boardValuesGoBackUnchanged_data()
{
    QTest::addColumn<quint16>("type");
    QTest::addColumn<QByteArray>("diTable");  // 64 bytes, 16 inputs
    QTest::addColumn<QByteArray>("debounce"); // 64 bytes
    QTest::addColumn<QByteArray>("doTable");  // 144 bytes

    const QByteArray plainDi = repeated(hex("00000001"), 16);
    const QByteArray plainDebounce = repeated(hex("03000000"), 16);
    const QByteArray plainDo = repeated(hex("00000001 00000000 00000000 00000000"), 9);
    // DO_9 is hidden on types 2 and 3; an erased board holds 0xFF there.
    const QByteArray erasedDo9 = plainDo.left(128) + QByteArray(16, char(0xFF));
    QTest::newRow("type 2, erased DO_9") << quint16(2) << plainDi << plainDebounce << erasedDo9;
    QTest::newRow("type 3, erased DO_9") << quint16(3) << QByteArray() << QByteArray() << erasedDo9;
    // Shown on type 1, out of every range, and left alone by the technician.
    QTest::newRow("type 1, DI address 5000, erased debounce, DO_9 erased")
        << quint16(1) << hex("00000001 88130001") + plainDi.mid(8) << hex("ffffffff") + plainDebounce.mid(4)
        << erasedDo9;
    QTest::newRow("type 1, hold 200000, enabled byte 7")
        << quint16(1) << hex("05000007") + plainDi.mid(4) << plainDebounce
        << hex("40000001 00000000 400d0300 00000000") + plainDo.mid(16);
}

void TestDiDoEditor::boardValuesGoBackUnchanged()
{
    QFETCH(quint16, type);
    QFETCH(QByteArray, diTable);
    QFETCH(QByteArray, debounce);
    QFETCH(QByteArray, doTable);

    useScriptedBoard(type, QStringLiteral("0.0.6"));
    const QByteArray modes = repeated(hex("00000000 00010000"), 8);
    link->setResponder([&](const QByteArray& request) {
        switch (quint8(request.at(0))) {
        case 0xA0: return ScriptedConnector::reply(char(0xA0) + diTable + QByteArray(64, '\0'));
        case 0xA7: return ScriptedConnector::reply(char(0xA7) + debounce);
        case 0xAA: return ScriptedConnector::reply(char(0xAA) + modes);
        case 0xA4: return ScriptedConnector::reply(char(0xA4) + doTable);
        default: return ScriptedConnector::replyHex("c9");
        }
    });
    ModalAnswerer answerer;
    panel->update();
    QVERIFY(answerer.seen.isEmpty());
    link->writes.clear();

    panel->save();
    QCOMPARE(answerer.texts(), QStringList({"Параметры DI/DO успешно записаны\n"}));
    QList<QByteArray> expected;
    if (type != 3)
        expected << char(0xA2) + diTable << char(0xA8) + debounce << char(0xA9) + modes;
    expected << char(0xA6) + doTable;
    // Then read back, each block with its read.
    QCOMPARE(link->writes.mid(0, expected.size()), expected);
}

QTEST_MAIN(TestDiDoEditor)
#include "tst_dido.moc"
