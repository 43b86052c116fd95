#pragma once

#include "configfile.h"

#include <QBrush>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <optional>

class BoardSession;
class DiDoPanel;
class QAction;
class QMenu;
class QTableWidget;
class Rs485Panel;
class Tessarin;
struct ConfigDifference;

// The configuration files of the "Файл" menu: the board's configuration saved
// to a file, a file opened into the editors, and a file compared with the
// board, its differences marked in the editors. The file format, the checks
// and the comparison are the core's, the same the command-line tool uses.
class ConfigFilePanel : public QObject
{
    Q_OBJECT

public:
    // The actions go into `fileMenu`, owned by `window`; `bar` gives the
    // device address a saved file is named after.
    ConfigFilePanel(QMenu* fileMenu, QWidget* window, DiDoPanel* diDo, Rs485Panel* rs485, BoardSession* session,
                    const Tessarin* bar, QObject* parent = nullptr);

    // Save, open and compare need a board running its main firmware.
    void updateActions();
    void save();
    void open();
    void compare();
    // Marks of a comparison belong to the board they were made with.
    void clearMarks();

    // The save/open dialog (parent, save, suggested path); the platform's own
    // unless a test puts its stand-in here.
    std::function<QString(QWidget*, bool, const QString&)> chooseFile;

private:
    bool usable() const;
    // What the editors' Save buttons would send; none when a field is refused.
    std::optional<ConfigFile> editorConfiguration();
    // What the editors were last filled with.
    ConfigFile shownConfiguration() const;
    // Differences between the board now and what the editors were last filled
    // with from it: the board changed since it was read.
    bool boardChangedSinceRead(const ConfigFile& board) const;
    void show(const ConfigFile& file, bool fromBoard);
    // Asks for a file and checks it whole and against the board connected (a
    // box says why not); nothing while no board runs its main firmware.
    std::optional<ConfigFile> pickForBoard();
    QString choosePath(bool save, const QString& suggested);
    void markDifference(const ConfigDifference& difference);

    // The blocks as the board holds them now (a box says why not).
    std::optional<ConfigFile> readBoard();

    QWidget* window;
    DiDoPanel* diDo;
    Rs485Panel* rs485;
    BoardSession* session;
    const Tessarin* bar;
    QAction* saveAction = nullptr;
    QAction* openAction = nullptr;
    QAction* compareAction = nullptr;
    struct Mark
    {
        QPointer<QTableWidget> table;
        int row;
        int column;
        QBrush background;
        QString styleSheet;
    };
    QList<Mark> marks;
};
