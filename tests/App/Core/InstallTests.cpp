#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "support/TestSupport.h"

namespace {

TEST(Install, PutsTheBinaryTheDesktopEntryAndTheIconInTheStandardPlaces)
{
    QTemporaryDir prefix;
    const QString buildDir = QFileInfo(TestSupport::corvaneBinary()).absoluteDir().absoluteFilePath("..");
    QProcess install;
    install.setProcessChannelMode(QProcess::MergedChannels);
    install.start("cmake", {"--install", buildDir, "--prefix", prefix.path()});
    ASSERT_TRUE(install.waitForFinished(60000));
    ASSERT_EQ(install.exitCode(), 0) << install.readAll().toStdString();

    const QFileInfo binary(prefix.path() + "/bin/corvane");
    EXPECT_TRUE(binary.isExecutable());
    const QString entry = QString::fromUtf8(TestSupport::readFile(prefix.path() + "/share/applications/dev.corvane.Corvane.desktop"));
    EXPECT_TRUE(entry.startsWith("[Desktop Entry]\n"));
    for (const char *line : {"\nType=Application\n", "\nName=Corvane\n", "\nExec=corvane\n", "\nIcon=dev.corvane.Corvane\n"})
        EXPECT_TRUE(entry.contains(line)) << line;
    const QByteArray icon = TestSupport::readFile(prefix.path() + "/share/icons/hicolor/scalable/apps/dev.corvane.Corvane.svg");
    EXPECT_TRUE(icon.contains("<svg")) << "icon missing";
}

} // namespace
