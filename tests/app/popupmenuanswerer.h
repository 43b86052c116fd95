#pragma once

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QObject>
#include <QStringList>
#include <QTimer>

// Answers popup menus (which are not modal widgets, so ModalAnswerer does not
// see them): records the texts of each menu's actions and either chooses the
// action with the wanted text or closes the menu without a choice.
class PopupMenuAnswerer : public QObject
{
public:
    explicit PopupMenuAnswerer(const QString& choose = QString(), QObject* parent = nullptr)
        : QObject(parent)
        , wanted(choose)
    {
        timer.setInterval(5);
        QObject::connect(&timer, &QTimer::timeout, this, [this] { poll(); });
        timer.start();
    }

    // One entry per menu seen: the texts of its actions.
    QList<QStringList> menus;

private:
    void poll()
    {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu || !menu->isVisible())
            return;
        QStringList texts;
        QAction* chosen = nullptr;
        for (QAction* action : menu->actions()) {
            texts << action->text();
            if (!wanted.isEmpty() && action->text() == wanted && !chosen)
                chosen = action;
        }
        menus << texts;
        menu->close();
        if (chosen)
            chosen->trigger();
    }

    QString wanted;
    QTimer timer;
};
