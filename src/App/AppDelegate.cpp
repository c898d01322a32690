#include "App/AppDelegate.h"

#include "App/AppPaths.h"

AppDelegate::AppDelegate(SettingsStore &defaults, QObject *parent)
    : QObject(parent)
    , m_settings(defaults)
{
    AppPaths::seedIfMissing(QStringLiteral("pricing"), QStringLiteral("json"), AppPaths::pricingFile());
    AppPaths::seedIfMissing(QStringLiteral("campaigns"), QStringLiteral("json"), AppPaths::campaignsFile());
    m_pricing = std::make_unique<PricingTable>(AppPaths::pricingFile());
}

AppDelegate::~AppDelegate() = default;
