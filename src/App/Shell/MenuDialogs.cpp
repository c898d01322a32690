#include "App/Shell/MenuDialogs.h"

#include "App/Core/AutostartEntry.h"
#include "App/Shell/AlertDialog.h"
#include "App/Modes/DialogTexts.h"
#include "App/Modes/ReportExport.h"
#include "Platform/Desktop.h"

#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QUrl>
#include <QVBoxLayout>

namespace MenuDialogs {

namespace {

// A caption in the system font, 11 semibold, above a 360 × 24 text field.
QWidget *labeledField(const QString &label, const QString &value, const QString &placeholder, QLineEdit **field)
{
    auto *box = new QWidget;
    auto *layout = new QVBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(3);
    auto *caption = new QLabel(label, box);
    QFont font = caption->font();
    font.setPointSize(11);
    font.setWeight(QFont::DemiBold);
    caption->setFont(font);
    layout->addWidget(caption);
    *field = new QLineEdit(value, box);
    (*field)->setPlaceholderText(placeholder);
    (*field)->setFixedSize(360, 24);
    layout->addWidget(*field);
    return box;
}

} // namespace

void applyCustomTarget(AppSettings &settings, const QString &text)
{
    if (!text.isEmpty())
        settings.setTargetBundleID(text);
}

void applyRemoteAds(AppSettings &settings, const RemoteAdsInput &input)
{
    // Each assignment rebuilds the ad backend; the last one sees every new value.
    settings.setRemoteAdBaseURL(input.baseURL.trimmed());
    settings.setRemoteAdPublisherID(input.publisherID.trimmed());
    settings.setRemoteAdPlacementID(input.placementID.trimmed());
    settings.setAdBackendMode(AdBackendMode::remoteREST);
}

void pickCustomTarget(AppSettings &settings)
{
    auto *field = new QLineEdit(settings.targetBundleID());
    field->setFixedSize(280, 24);
    AlertDialog dialog(DialogTexts::customTarget(), field);
    if (dialog.run() == 0)
        applyCustomTarget(settings, field->text());
}

void configureRemoteAds(AppSettings &settings)
{
    auto *fields = new QWidget;
    auto *layout = new QVBoxLayout(fields);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    QLineEdit *base = nullptr;
    QLineEdit *publisher = nullptr;
    QLineEdit *placement = nullptr;
    layout->addWidget(labeledField(QStringLiteral("Base URL"), settings.remoteAdBaseURL(),
                                   AppSettings::defaultRemoteAdBaseURL, &base));
    layout->addWidget(labeledField(QStringLiteral("Publisher ID"), settings.remoteAdPublisherID(),
                                   AppSettings::defaultRemoteAdPublisherID, &publisher));
    layout->addWidget(labeledField(QStringLiteral("Placement ID"), settings.remoteAdPlacementID(),
                                   QStringLiteral("hud"), &placement));
    AlertDialog dialog(DialogTexts::remoteAds(), fields);
    if (dialog.run() == 0)
        applyRemoteAds(settings, {base->text(), publisher->text(), placement->text()});
}

void openPricing(Desktop &desktop, const QString &pricingPath)
{
    if (!desktop.openUrl(QUrl::fromLocalFile(pricingPath)))
        AlertDialog::ask(DialogTexts::error(QStringLiteral("Could not open the pricing table"),
                                            QStringLiteral("No application opened ") + pricingPath
                                                + QStringLiteral(".")));
}

void toggleStartAtLogin(const QString &entryPath, const QString &executablePath)
{
    if (AutostartEntry::isEnabled(entryPath)) {
        if (!AutostartEntry::disable(entryPath))
            AlertDialog::ask(DialogTexts::error(QStringLiteral("Could not turn Start at Login off"),
                                                QStringLiteral("cannot remove ") + entryPath));
        return;
    }
    if (const std::optional<QString> error = AutostartEntry::enable(entryPath, executablePath))
        AlertDialog::ask(DialogTexts::error(QStringLiteral("Could not turn Start at Login on"), *error));
}

void exportAdPilotReport(Desktop &desktop, const AdPilotReport::Files &files)
{
    const ReportExport::Outcome outcome = ReportExport::generateNow(files);
    if (!outcome.reveal.isEmpty())
        desktop.revealFiles(outcome.reveal);
    AlertDialog::ask(outcome.alert);
}

} // namespace MenuDialogs
