// A second copy of the real console, started while the first runs, must leave everything alone.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

struct Process {
    pid_t pid = -1;
    ~Process()
    {
        if (pid > 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    }
};

void Start(Process& process, const QStringList& env, const QString& stderrPath)
{
    std::vector<std::string> envStore;
    for (char** e = environ; *e; ++e)
        envStore.emplace_back(*e);
    for (const QString& e : env)
        envStore.push_back(e.toStdString());
    std::vector<char*> envp;
    for (std::string& e : envStore)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string path = NEMORA_APP_PATH;
    char* argv[] = {path.data(), nullptr};

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, stderrPath.toLocal8Bit().constData(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    ASSERT_EQ(posix_spawn(&process.pid, argv[0], &actions, nullptr, argv, envp.data()), 0);
    posix_spawn_file_actions_destroy(&actions);
}

QByteArray Read(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

TEST(SecondInstance, LeavesTheLaunchCounterAloneAndSaysSo)
{
    QTemporaryDir workspace, runtime, config, logs;
    QFile::setPermissions(runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QString magic = workspace.filePath("magic.vek");
    {
        QFile f(magic);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray::fromHex("0700000005000000")); // not a first run: no installer
    }
    const QStringList env = {"QT_QPA_PLATFORM=offscreen",
                             "NEMORA_SIM=",
                             "NEMORA_SIM_CONTROL=" + logs.filePath("ctl"),
                             "NEMORA_WORKSPACE_DIR=" + workspace.path(),
                             "XDG_RUNTIME_DIR=" + runtime.path(),
                             "XDG_CONFIG_HOME=" + config.path(),
                             "ASAN_OPTIONS=detect_leaks=0"};

    Process first;
    Start(first, env, logs.filePath("first.err"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return Read(magic) == QByteArray::fromHex("0700000006000000"); }, 20000))
        << Read(logs.filePath("first.err")).toStdString();
    // The first copy holds its lock once it has counted.
    ASSERT_TRUE(QTest::qWaitFor([&] { return !QDir(runtime.path()).entryList({"*.lock"}).isEmpty(); }, 5000));

    // Even with devices it could not reach, the second copy stops at the single-instance check.
    QStringList secondEnv = env;
    secondEnv.replaceInStrings(QRegularExpression("^NEMORA_SIM=$"), "NEMORA_SIM=mode=bogus");
    Process second;
    Start(second, secondEnv, logs.filePath("second.err"));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return Read(logs.filePath("second.err")).contains("The program is already running!!!"); }, 20000))
        << Read(logs.filePath("second.err")).toStdString();
    EXPECT_EQ(Read(magic), QByteArray::fromHex("0700000006000000"));
    EXPECT_FALSE(Read(logs.filePath("second.err")).contains("NEMORA_SIM"));
    int status = 0;
    EXPECT_EQ(waitpid(first.pid, &status, WNOHANG), 0); // the first copy still runs
}

} // namespace
