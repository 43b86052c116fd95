#pragma once

#include "linescan.h"

#include <QDialog>

#include <optional>

class BarLink;
class LineScan;
class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QTreeWidget;
class RateLabel;

// "Найти устройства…": asks every address of a range on the line the
// connection bar is set to, lists each board as it answers and shows every
// other answer as what it is. The scan takes the line to itself through the
// bar, on the GUI thread: the transports belong to the thread that opened
// them (the bar's), and events run between addresses, so the window stays
// usable and Stop lets go of the line once the exchange under way is over.
// Choosing a board puts its address into the bar and connects to it there.
class ScanDialog : public QDialog
{
    Q_OBJECT

public:
    ScanDialog(BarLink* bar, QWidget* parent = nullptr);

    // The menu action: refuses a mode without addresses, asks to let go of a
    // link the window holds, runs the dialog and connects to the board chosen.
    static void run(BarLink* bar, QWidget* window);

    std::optional<int> chosenAddress() const { return chosen; }
    bool scanning() const { return scan != nullptr; }

public slots:
    // Stops a scan under way first; the dialog closes once the line is free.
    void reject() override;

private:
    void start();
    void stop();
    // The selected board (or the one double-clicked), once the line is free.
    void choose();
    void showProgress(int address, int asked, int total, int found);
    void showAnswer(const LineScan::Answer& answer);
    void showSummary(const LineScan::Summary& summary);
    void updateButtons();

    BarLink* bar;
    QLabel* lineLabel;
    QSpinBox* fromBox;
    QSpinBox* toBox;
    QSpinBox* waitBox;
    QPushButton* startButton;
    QPushButton* stopButton;
    QProgressBar* progressBar;
    QLabel* progressLabel;
    RateLabel* rateLabel;
    QTreeWidget* boardList;
    QPlainTextEdit* otherAnswers;
    QPushButton* connectButton;
    QPushButton* closeButton;

    LineScan* scan = nullptr;
    std::optional<int> chosen;
    bool closeWanted = false;
};
