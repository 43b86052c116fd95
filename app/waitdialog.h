#pragma once

#include <QDialog>

class QLabel;
class QMovie;

// Modal "please wait" box with a spinner, shown (not exec'd) by the long board
// operations, which keep control and call finish() when they are done.
class WaitDialog : public QDialog
{
    Q_OBJECT
public:
    explicit WaitDialog(QWidget* parent = nullptr);

    void setText(const QString& text);
    // The only way this dialog closes: stops the animation and accepts.
    void finish();
    // Keeps the spinner a third of the dialog's smaller side.
    void updateSpinnerSize();

protected:
    void resizeEvent(QResizeEvent* event) override;

public slots:
    // Escape and the window's close request both end in reject(). The
    // operation behind the dialog lets events through between its steps, so
    // ending the modality there would free the rest of the window in the
    // middle of a transfer: reject() is ignored and only finish() closes.
    void reject() override;

private:
    QLabel* spinnerLabel;
    QMovie* movie;
    QLabel* textLabel;
};
