#include "Platform/Files/RegularFile.h"
#include "Telemetry/Adapters/LineAssembler.h"

#include "support/TestSupport.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

struct Fed {
    std::vector<QByteArray> lines;
    qsizetype held = 0;
};

Fed feedAll(const std::vector<QByteArray> &chunks, qsizetype cap)
{
    LineAssembler assembler(QStringLiteral("t.jsonl"), cap);
    Fed fed;
    for (const QByteArray &chunk : chunks)
        assembler.feed(chunk, [&](QByteArrayView line) { fed.lines.push_back(line.toByteArray()); });
    fed.held = assembler.heldBytes();
    return fed;
}

TEST(LineAssembler, CutsLinesAcrossChunksAndSkipsWhatIsTooLong)
{
    struct Case {
        const char *name;
        std::vector<QByteArray> chunks;
        std::vector<QByteArray> lines;
        qsizetype held;
    };
    const Case cases[] = {
        {"split line", {"ab", "c\nde", "f\n"}, {"abc", "def"}, 0},
        {"empty lines", {"\n\na\n\n"}, {"a"}, 0},
        {"tail held", {"a\nbc"}, {"a"}, 2},
        // The cap is 8 bytes: a longer line goes, the next one is kept.
        {"long line in one chunk", {"123456789\nok\n"}, {"ok"}, 0},
        {"long line over chunks", {"12345", "6789", "0123", "\nok\n"}, {"ok"}, 0},
        {"long tail never ended", {"12345", "67890", "12345"}, {}, 0},
        {"exactly the cap", {"12345678\n"}, {"12345678"}, 0},
    };
    for (const Case &c : cases) {
        const Fed fed = feedAll(c.chunks, 8);
        EXPECT_EQ(fed.lines, c.lines) << c.name;
        EXPECT_EQ(fed.held, c.held) << c.name;
    }
}

// A position saved while a line over the cap was skipped lies inside that line: a later start
// from there must not take the rest of it for a line.
TEST(LineAssembler, AReadResumedInsideALineSkipsToItsEnd)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("t.jsonl");
    TestSupport::writeFile(path, "123456789012\nok\n");
    const std::optional<RegularFile> file = RegularFile::open(path);
    ASSERT_TRUE(file);
    for (const qint64 from : {qint64(0), qint64(5), qint64(13)}) {
        LineAssembler assembler(path, 8);
        std::vector<QByteArray> lines;
        assembler.read(*file, from, 16, [&](QByteArrayView line) { lines.push_back(line.toByteArray()); });
        EXPECT_EQ(lines, std::vector<QByteArray>{"ok"}) << from;
    }
}

TEST(RegularFile, OnlyRegularFilesOpenAndAFifoNeverBlocks)
{
    QTemporaryDir dir;
    const QString plain = dir.filePath("a.jsonl");
    TestSupport::writeFile(plain, "x\n");
    const QString fifo = dir.filePath("f.jsonl");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString link = dir.filePath("l.jsonl");
    ASSERT_TRUE(QFile::link(plain, link));
    const QString fifoLink = dir.filePath("fl.jsonl");
    ASSERT_TRUE(QFile::link(fifo, fifoLink));

    EXPECT_TRUE(RegularFile::open(plain));
    EXPECT_TRUE(RegularFile::open(link)); // a link to a regular file is followed
    EXPECT_FALSE(RegularFile::open(fifo));
    EXPECT_FALSE(RegularFile::open(fifoLink));
    EXPECT_FALSE(RegularFile::open(dir.path()));
    EXPECT_FALSE(RegularFile::open(dir.filePath("missing.jsonl")));
    EXPECT_EQ(RegularFile::identify(link)->inode, RegularFile::identify(plain)->inode);
}

} // namespace
