#include "App/Shell/OnboardingWindow.h"

#include "App/Shell/LiteralLabel.h"
#include "App/Shell/OnboardingTexts.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

OnboardingWindow::OnboardingWindow(const QString &bodyText, std::function<bool()> hasAccess,
                                   std::function<void()> onRecheck, const OnboardingFix &fix, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_hasAccess(std::move(hasAccess))
    , m_onRecheck(std::move(onRecheck))
    , m_granted(m_hasAccess())
{
    setWindowTitle(OnboardingTexts::windowTitle());
    setAttribute(Qt::WA_DeleteOnClose, false);
    setFixedWidth(460);
    setMinimumHeight(300);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 24, 24, 24);
    layout->setSpacing(14);
    auto *heading = new QLabel(OnboardingTexts::heading(), this);
    QFont headingFont = heading->font();
    headingFont.setBold(true);
    headingFont.setPointSizeF(headingFont.pointSizeF() * 1.35);
    heading->setFont(headingFont);
    layout->addWidget(heading);

    auto *body = new QLabel(bodyText, this);
    body->setTextFormat(Qt::RichText);
    body->setWordWrap(true);
    body->setTextInteractionFlags(Qt::TextSelectableByMouse); // commands in it can be copied
    body->setForegroundRole(QPalette::PlaceholderText);
    layout->addWidget(body);
    m_fixOutcome = new QLabel(this);
    m_fixOutcome->setTextFormat(Qt::PlainText);
    m_fixOutcome->setWordWrap(true);
    m_fixOutcome->setTextInteractionFlags(Qt::TextSelectableByMouse); // the command can be copied
    m_fixOutcome->hide();
    layout->addWidget(m_fixOutcome);
    layout->addStretch();

    auto *row = new QHBoxLayout;
    if (fix.run) {
        auto *fixButton = new QPushButton(literalLabel(fix.label), this);
        connect(fixButton, &QPushButton::clicked, this, [this, run = fix.run] {
            m_fixOutcome->setText(run());
            m_fixOutcome->show();
            recheck();
        });
        row->addWidget(fixButton);
    }
    auto *recheckButton = new QPushButton(literalLabel(OnboardingTexts::recheckButton()), this);
    connect(recheckButton, &QPushButton::clicked, this, &OnboardingWindow::recheck);
    row->addWidget(recheckButton);
    m_grantedLabel = new QLabel(OnboardingTexts::grantedLabel(), this);
    m_grantedLabel->setStyleSheet(QStringLiteral("color: #1f9d55; font-weight: 600;"));
    m_grantedLabel->setVisible(m_granted);
    row->addWidget(m_grantedLabel);
    row->addStretch();
    layout->addLayout(row);
}

void OnboardingWindow::present()
{
    if (!m_placed) {
        adjustSize();
        if (const QScreen *screen = QGuiApplication::primaryScreen())
            move(screen->availableGeometry().center() - rect().center());
        m_placed = true;
    }
    show();
    raise();
    activateWindow();
}

void OnboardingWindow::recheck()
{
    m_granted = m_hasAccess();
    m_grantedLabel->setVisible(m_granted);
    if (m_onRecheck)
        m_onRecheck();
}
