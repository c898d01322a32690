#pragma once

#include "Ads/AdPilotReport.h"
#include "Settings/AppSettings.h"

class Desktop;

// The tray menu's dialogs: each runs modally to its answer and applies it.
namespace MenuDialogs {

// What the remote ads dialog's three fields hold when saved.
struct RemoteAdsInput {
    QString baseURL;
    QString publisherID;
    QString placementID;
};

// "Attach": a non-empty text (blanks included, untrimmed) becomes the target.
void applyCustomTarget(AppSettings &settings, const QString &text);
// "Save & Use Remote": trimmed values assigned one by one, then the remote backend chosen.
void applyRemoteAds(AppSettings &settings, const RemoteAdsInput &input);

void pickCustomTarget(AppSettings &settings);
void configureRemoteAds(AppSettings &settings);
// Opens pricingPath with the desktop's default application; an alert explains a failure.
void openPricing(Desktop &desktop, const QString &pricingPath);
// "Start at Login": removes the autostart entry, or writes it; an alert explains a failure.
void toggleStartAtLogin(const QString &entryPath, const QString &executablePath);
// "Export Ad Pilot Report…": writes the report, reveals both files, then shows the summary (or the failure).
void exportAdPilotReport(Desktop &desktop, const AdPilotReport::Files &files);

} // namespace MenuDialogs
