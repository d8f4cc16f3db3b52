#include <QStringList>
#include "TestRegistry.h"

#include <QApplication>
#include <QLocale>
#include <QTest>
#include <cstdio>
#include <memory>
#include <sys/wait.h>
#include <unistd.h>

namespace zltest {
std::vector<std::pair<const char *, Factory>> &registry()
{
    static std::vector<std::pair<const char *, Factory>> r;
    return r;
}
} // namespace zltest

// Each test class runs in a process of its own: Qt Test keeps a skip in one
// class's initTestCase in force for every class after it, and the program's
// process-wide state (screens, printers, label fields) must not leak from
// one class into the next.
int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    int failedClasses = 0;
    // ZENLABO_TEST_ONLY=ClassA,ClassB runs just those classes.
    const QStringList only = qEnvironmentVariable("ZENLABO_TEST_ONLY").split(QLatin1Char(','), Qt::SkipEmptyParts);
    for (auto &[name, make] : zltest::registry()) {
        if (!only.isEmpty() && !only.contains(QString::fromLatin1(name)))
            continue;
        std::fflush(stdout);
        std::fflush(stderr);
        const pid_t pid = fork();
        if (pid < 0) {
            std::perror("fork");
            return 2;
        }
        if (pid == 0) {
            QApplication app(argc, argv);
            // The locale the program sets at start-up, whatever the machine's:
            // what it stores and prints must not change with it.
            QLocale::setDefault(QLocale(QLocale::Japanese, QLocale::Japan));
            std::unique_ptr<QObject> test(make());
            const int rc = QTest::qExec(test.get(), argc, argv);
            std::fflush(stdout);
            std::fflush(stderr);
            _exit(rc == 0 ? 0 : 1);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            ++failedClasses;
            std::fprintf(stderr, "FAILED: %s%s\n", name, WIFSIGNALED(status) ? " (crashed)" : "");
        }
    }
    return failedClasses == 0 ? 0 : 1;
}
