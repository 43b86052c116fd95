#pragma once

#include "dumpannotator.h"

#include <QObject>
#include <QSharedPointer>
#include <QStringList>
#include <QWeakPointer>

#include <functional>

class BoardSession;
class Connector;
class QBoxLayout;
class QLineEdit;
class QPlainTextEdit;
class QStatusBar;
class QWidget;

// The RX/TX dump below the tabs: while it is on, a view with its buttons, find
// field and command-name switch, fed by the link's dump callback and by the
// program's own lines.
class DumpPanel : public QObject
{
    Q_OBJECT

public:
    // The view goes at the end of `layout` of `window`; "not found" is said in `statusBar`.
    DumpPanel(QWidget* window, QBoxLayout* layout, QStatusBar* statusBar, BoardSession* session,
              QObject* parent = nullptr);

    bool enabled() const { return on; }
    // On: the view (built if needed) and the callback on the link; off: both gone.
    void setEnabled(bool enabled);
    // Appends one time-stamped line while the view exists; drops it otherwise.
    void append(const QString& line);
    QPlainTextEdit* view() const { return dumpView; }
    // The dump callback on the session's link while the dump is on, and on no
    // other link: a link let go of must not call into the window any more.
    void followLink();

    // The save dialog (parent, save, suggested path); the platform's own
    // unless a test puts its stand-in here.
    std::function<QString(QWidget*, bool, const QString&)> chooseFile;

private:
    void build();
    QString lineShown(int index) const;
    void showCommandNames(bool shown);
    void save();
    void clear();
    void find();

    QWidget* window;
    QBoxLayout* layout;
    QStatusBar* statusBar;
    BoardSession* session;
    bool on = false;
    QWidget* panel = nullptr;
    QPlainTextEdit* dumpView = nullptr;
    QLineEdit* findEdit = nullptr;
    // The lines as they came and the command name of each, for a redraw.
    QStringList lines;
    QStringList notes;
    bool notesShown = false;
    DumpAnnotator annotator;
    // The link last followed, and whether the callback is on it.
    QWeakPointer<Connector> fed;
    bool installed = false;
};
