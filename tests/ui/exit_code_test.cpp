#include <gtest/gtest.h>

#include <QProcess>
#include <QTemporaryDir>

namespace {

// zel-demo as a user starts it (the tests' build, which can press the keys itself), on the
// offscreen platform, probing an empty device folder.
int RunProgram(const QString& autoclose) {
    QTemporaryDir devDir;
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    program.setProcessEnvironment(env);
    program.start(QStringLiteral(ZEL_AUTOCLOSE_PATH),
                  {"--dev-dir", devDir.path(), "--autoclose", autoclose});
    if (!program.waitForFinished(20000)) {
        program.kill();
        program.waitForFinished();
        return -1;
    }
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    return program.exitCode();
}

TEST(ExitCode, Escape_in_the_introduction_ends_the_program_with_code_0) {
    EXPECT_EQ(RunProgram("intro"), 0);
}

TEST(ExitCode, Exit_in_the_port_dialog_at_start_up_ends_the_program_with_code_0) {
    EXPECT_EQ(RunProgram("port"), 0);
}

TEST(ExitCode, The_shipped_program_has_no_autoclose) {
    QTemporaryDir devDir;
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    program.setProcessEnvironment(env);
    program.start(QStringLiteral(ZEL_BIN_DIR "/zel-demo"), {"--autoclose", "intro"});
    ASSERT_TRUE(program.waitForFinished(20000));
    // A usage error: the fault in one line and the pointer to --help.
    EXPECT_EQ(program.exitCode(), 2);
    EXPECT_EQ(program.readAllStandardError(),
              "zel-demo: Unknown option 'autoclose'.\n"
              "Try 'zel-demo --help' for more information.\n");
}

TEST(ExitCode, Version_prints_the_project_version_without_a_desktop) {
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) env.remove(name);
    program.setProcessEnvironment(env);
    program.start(QStringLiteral(ZEL_BIN_DIR "/zel-demo"), {"--version"});
    ASSERT_TRUE(program.waitForFinished(20000));
    EXPECT_EQ(program.exitCode(), 0);
    EXPECT_EQ(program.readAllStandardOutput().trimmed().split(' ').last(), ZEL_PROJECT_VERSION);
}

}  // namespace
