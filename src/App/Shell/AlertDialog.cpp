#include "App/Shell/AlertDialog.h"

#include "App/Shell/LiteralLabel.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

AlertDialog::AlertDialog(const AlertText &text, QWidget *accessory, QWidget *parent)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Corvane"));
    auto *layout = new QVBoxLayout(this);
    auto *message = new QLabel(text.message, this);
    QFont bold = message->font();
    bold.setBold(true);
    message->setFont(bold);
    message->setObjectName(QStringLiteral("message"));
    layout->addWidget(message);
    auto *informative = new QLabel(text.informative, this);
    informative->setObjectName(QStringLiteral("informative"));
    informative->setWordWrap(true);
    informative->setTextInteractionFlags(Qt::TextSelectableByMouse);
    informative->setMaximumWidth(460);
    layout->addWidget(informative);
    if (accessory)
        layout->addWidget(accessory);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    for (int i = 0; i < text.buttons.size(); ++i) {
        auto *button = new QPushButton(literalLabel(text.buttons.at(i)), this);
        button->setDefault(i == 0);
        button->setAutoDefault(i == 0);
        connect(button, &QPushButton::clicked, this, [this, i] {
            m_answer = i;
            accept();
        });
        buttons->addWidget(button);
    }
    layout->addLayout(buttons);
}

int AlertDialog::run()
{
    m_answer = -1;
    raise();
    activateWindow();
    exec();
    return m_answer;
}

int AlertDialog::ask(const AlertText &text)
{
    AlertDialog dialog(text);
    return dialog.run();
}
