#include "modalanswerer.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QInputDialog>
#include <QPushButton>
#include <QVariant>

ModalAnswerer::ModalAnswerer(QMessageBox::StandardButton answer, QObject* parent)
    : QObject(parent)
    , defaultAnswer(answer)
{
    timer.setInterval(5);
    connect(&timer, &QTimer::timeout, this, &ModalAnswerer::poll);
    timer.start();
}

void ModalAnswerer::queueButton(QMessageBox::StandardButton button)
{
    buttons.append(button);
}

void ModalAnswerer::queueInput(const QString& text)
{
    inputs.append(QVariant(text));
}

void ModalAnswerer::queueInputCancel()
{
    inputs.append(QVariant());
}

void ModalAnswerer::setCustomHandler(std::function<bool(QWidget*)> handler)
{
    customHandler = std::move(handler);
}

QStringList ModalAnswerer::texts() const
{
    QStringList result;
    for (const Seen& s : seen)
        result << s.text;
    return result;
}

void ModalAnswerer::reset()
{
    seen.clear();
    buttons.clear();
    inputs.clear();
}

void ModalAnswerer::poll()
{
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || !modal->isVisible())
        return;

    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        seen.append({QStringLiteral("QMessageBox"), box->windowTitle(), box->text(), box->icon(),
                     box->informativeText()});
        seen.last().offered = box->standardButtons();
        seen.last().defaultButton = box->defaultButton() ? box->standardButton(box->defaultButton())
                                                         : QMessageBox::NoButton;
        const QMessageBox::StandardButton wanted = buttons.isEmpty() ? defaultAnswer : buttons.takeFirst();
        if (wanted == QMessageBox::Escape) {
            // Closed by its title bar: the box picks its own escape answer.
            box->close();
            return;
        }
        QAbstractButton* button = box->button(wanted);
        if (!button)
            button = box->escapeButton();
        if (!button && !box->buttons().isEmpty())
            button = box->buttons().constFirst();
        if (button)
            button->click();
        else
            box->reject();
        return;
    }
    if (auto* input = qobject_cast<QInputDialog*>(modal)) {
        seen.append({QStringLiteral("QInputDialog"), input->windowTitle(), input->labelText(), QMessageBox::NoIcon,
                     QString()});
        const QVariant answer = inputs.isEmpty() ? QVariant() : inputs.takeFirst();
        if (answer.isValid()) {
            input->setTextValue(answer.toString());
            input->accept();
        } else {
            input->reject();
        }
        return;
    }
    if (customHandler && customHandler(modal)) {
        return;
    }
    if (auto* dialog = qobject_cast<QDialog*>(modal)) {
        // Long operations show a modal wait dialog that only their own code
        // closes; leave those alone.
        if (QString::fromLatin1(dialog->metaObject()->className()) == QLatin1String("WaitDialog"))
            return;
        seen.append({QString::fromLatin1(dialog->metaObject()->className()), dialog->windowTitle(), QString(), QMessageBox::NoIcon,
                     QString()});
        dialog->reject();
    }
}
