#pragma once

#include <QWidget>

#include <functional>

class QLabel;

// A button that fixes what is missing (installs the GNOME Shell extension); run answers what
// happened, in a sentence shown under the text.
struct OnboardingFix {
    QString label;
    std::function<QString()> run;
};

// Explains why docking is unavailable; "Re-check" reads window access again and reports it.
// Closing only hides the window, so it comes back as it was.
class OnboardingWindow : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(OnboardingWindow)

public:
    // body is the rich text that says what is missing; hasAccess is read when the window is built
    // and at each re-check; onRecheck runs after it.
    OnboardingWindow(const QString &body, std::function<bool()> hasAccess, std::function<void()> onRecheck,
                     const OnboardingFix &fix = {}, QWidget *parent = nullptr);

    bool granted() const { return m_granted; }
    // Shows the window in front, centred on first showing.
    void present();
    // What the "Re-check" button does.
    void recheck();

private:
    std::function<bool()> m_hasAccess;
    std::function<void()> m_onRecheck;
    bool m_granted = false;
    bool m_placed = false;
    QLabel *m_grantedLabel = nullptr;
    QLabel *m_fixOutcome = nullptr;
};
