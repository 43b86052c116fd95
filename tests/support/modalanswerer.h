#pragma once

#include <QList>
#include <QMessageBox>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QVariant>

#include <functional>

// Answers the modal boxes and dialogs that code under test opens, and records
// what they said, so no test ever waits on a human.
//
// Message boxes are answered with the next queued button (or the default
// answer once the queue is empty); input dialogs get the queued text and are
// accepted, or rejected when the text queue is empty; any other modal dialog
// is rejected unless a custom handler takes it.
class ModalAnswerer : public QObject
{
    Q_OBJECT
public:
    struct Seen
    {
        QString className;
        QString title;
        QString text;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QString informativeText; // message boxes only
        // Message boxes only: the standard buttons offered and the one that
        // Enter would press.
        QMessageBox::StandardButtons offered = QMessageBox::NoButton;
        QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
    };

    explicit ModalAnswerer(QMessageBox::StandardButton defaultAnswer = QMessageBox::Ok, QObject* parent = nullptr);

    // QMessageBox::Escape closes the box as its title bar would.
    void queueButton(QMessageBox::StandardButton button);
    void queueInput(const QString& text);
    void queueInputCancel();
    // Called with any modal widget that is not a message box or input dialog;
    // return true when it was handled.
    void setCustomHandler(std::function<bool(QWidget*)> handler);

    QList<Seen> seen;

    // The texts of every message box seen, in order.
    QStringList texts() const;
    void reset();

private:
    void poll();

    QTimer timer;
    QMessageBox::StandardButton defaultAnswer;
    QList<QMessageBox::StandardButton> buttons;
    QList<QVariant> inputs; // QString, or invalid for cancel
    std::function<bool(QWidget*)> customHandler;
};
