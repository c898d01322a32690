#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "support/TestSupport.h"

namespace {

QString sectionNames(const QString &elf)
{
    QProcess readelf;
    readelf.start("readelf", {"--section-headers", "--wide", elf});
    EXPECT_TRUE(readelf.waitForFinished(30000));
    return QString::fromUtf8(readelf.readAllStandardOutput());
}

TEST(Install, PutsStrippedBinariesTheDesktopEntryAndTheIconInTheStandardPlaces)
{
    QTemporaryDir prefix;
    const QString buildDir = QFileInfo(TestSupport::corvaneBinary()).absoluteDir().absoluteFilePath("..");
    QProcess install;
    install.setProcessChannelMode(QProcess::MergedChannels);
    install.start("cmake", {"--install", buildDir, "--prefix", prefix.path()});
    ASSERT_TRUE(install.waitForFinished(60000));
    ASSERT_EQ(install.exitCode(), 0) << install.readAll().toStdString();

    // Stripped executables; their debug sections beside them, where gdb looks through the debug link.
    for (const QString &binary : {QStringLiteral("/bin/corvane"), QStringLiteral("/libexec/corvane/corvane-desktop")}) {
        const QFileInfo installed(prefix.path() + binary);
        EXPECT_TRUE(installed.isExecutable()) << binary.toStdString();
        EXPECT_FALSE(sectionNames(installed.filePath()).contains(".debug_info")) << binary.toStdString();
        const QString debug = installed.absolutePath() + "/.debug/" + installed.fileName() + ".debug";
        EXPECT_TRUE(sectionNames(debug).contains(".debug_info")) << debug.toStdString();
    }
    const QString entry = QString::fromUtf8(TestSupport::readFile(prefix.path() + "/share/applications/dev.corvane.Corvane.desktop"));
    EXPECT_TRUE(entry.startsWith("[Desktop Entry]\n"));
    for (const char *line : {"\nType=Application\n", "\nName=Corvane\n", "\nExec=corvane\n", "\nIcon=dev.corvane.Corvane\n"})
        EXPECT_TRUE(entry.contains(line)) << line;
    const QByteArray icon = TestSupport::readFile(prefix.path() + "/share/icons/hicolor/scalable/apps/dev.corvane.Corvane.svg");
    EXPECT_TRUE(icon.contains("<svg")) << "icon missing";
}

} // namespace
