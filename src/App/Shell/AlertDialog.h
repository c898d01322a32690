#pragma once

#include "App/Modes/DialogTexts.h"

#include <QDialog>

class QPushButton;

// A modal alert: message, informative text, an optional accessory widget and the buttons in the
// given order, the first being the default. exec() answers the index of the pressed button, or -1.
class AlertDialog : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AlertDialog)

public:
    explicit AlertDialog(const AlertText &text, QWidget *accessory = nullptr, QWidget *parent = nullptr);

    // Runs modally after bringing the dialog forward; the index of the chosen button, -1 if closed.
    int run();

    // Shows text with its buttons and waits for the answer.
    static int ask(const AlertText &text);

private:
    int m_answer = -1;
};
