#include "App/AppDelegate.h"

AppDelegate::AppDelegate(SettingsStore &defaults, AppEnvironment environment, QObject *parent)
    : QObject(parent)
    , m_core(defaults, std::move(environment))
{
}

AppDelegate::~AppDelegate() = default;

void AppDelegate::applicationDidFinishLaunching()
{
    m_core.launch();
}

void AppDelegate::bringHUDForward()
{
}
