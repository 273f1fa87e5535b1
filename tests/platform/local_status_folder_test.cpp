#include "platform/local_status_folder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <filesystem>

#include "platform/process_alive.h"
#include "support/dead_process.h"
#include "support/temp_folder.h"

namespace pelm {
namespace {

using testing::TempFolder;

// Points XDG_RUNTIME_DIR at a folder for one test and puts it back.
class RuntimeDir {
public:
    explicit RuntimeDir(const std::string& path) : old_(qgetenv("XDG_RUNTIME_DIR")) {
        qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(path));
    }
    ~RuntimeDir() { qputenv("XDG_RUNTIME_DIR", old_); }

private:
    QByteArray old_;
};

mode_t modeOf(const QString& path) {
    struct stat status {};
    stat(QFile::encodeName(path).constData(), &status);
    return status.st_mode & 07777;
}

TEST(StatusFolder, IsMadePrivateUnderTheRuntimeFolderAndRefusedWhenOthersMayEnter) {
    TempFolder runtime;
    RuntimeDir environment(runtime.path().string());
    const auto folder = prepareLocalStatusFolder();
    ASSERT_TRUE(folder);
    EXPECT_EQ(*folder, QString::fromStdString(runtime / "pelm"));
    EXPECT_EQ(modeOf(*folder), 0700u);
    EXPECT_EQ(prepareLocalStatusFolder(), folder);  // a second board finds it ready

    chmod(QFile::encodeName(*folder).constData(), 0755);
    QString problem;
    EXPECT_FALSE(prepareLocalStatusFolder(&problem));
    EXPECT_TRUE(problem.contains("other users")) << problem.toStdString();
}

TEST(StatusFolder, ReadersRefuseWhatTheBoardRefusesAndCreateNothing) {
    TempFolder runtime;
    RuntimeDir environment(runtime.path().string());
    QString problem = "unset";
    EXPECT_FALSE(existingLocalStatusFolder(&problem));
    EXPECT_TRUE(problem.isEmpty()) << "no folder is no board, not a fault";
    EXPECT_FALSE(std::filesystem::exists(runtime / "pelm"));

    std::filesystem::create_directory(runtime / "pelm");
    chmod((runtime / "pelm").c_str(), 0777);
    EXPECT_FALSE(existingLocalStatusFolder(&problem));
    EXPECT_TRUE(problem.contains("other users")) << problem.toStdString();
    chmod((runtime / "pelm").c_str(), 0700);
    EXPECT_EQ(existingLocalStatusFolder(), QString::fromStdString(runtime / "pelm"));
}

TEST(StatusFolder, WithoutARuntimeFolderFallsBackToOneOfThisUserUnderTmp) {
    RuntimeDir environment("");
    EXPECT_EQ(localStatusFolderPath(), QStringLiteral("/tmp/pelm-%1").arg(getuid()));
}

TEST(BoardKey, SameForAFolderAndALinkToItDifferentForAnotherFolder) {
    TempFolder root;
    std::filesystem::create_directory(root / "a");
    std::filesystem::create_directory(root / "b");
    std::filesystem::create_directory_symlink(root / "a", root / "link");
    const QString a = QString::fromStdString(root / "a");
    EXPECT_EQ(boardKey(a), boardKey(QString::fromStdString(root / "link")));
    EXPECT_EQ(boardKey(a), boardKey(a + "/."));
    EXPECT_NE(boardKey(a), boardKey(QString::fromStdString(root / "b")));
    EXPECT_EQ(boardKey(a).size(), 16);
}

using testing::deadProcess;

TEST(ProcessRuns, LiveWithItsStartTimeDeadOrRestartedIsNot) {
    const auto ticks = processStartTicks(getpid());
    ASSERT_TRUE(ticks);
    EXPECT_TRUE(processRuns(getpid(), ticks));
    EXPECT_TRUE(processRuns(getpid(), std::nullopt));
    EXPECT_FALSE(processRuns(getpid(), *ticks + 1));  // the pid was reused
    EXPECT_FALSE(processRuns(deadProcess(), std::nullopt));
    EXPECT_FALSE(processRuns(0, std::nullopt));
}

}  // namespace
}  // namespace pelm
