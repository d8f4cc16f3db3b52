#include "TestRegistry.h"

#include <QApplication>
#include <QTest>
#include <cstdio>
#include <memory>

namespace zltest {
std::vector<std::pair<const char *, Factory>> &registry()
{
    static std::vector<std::pair<const char *, Factory>> r;
    return r;
}
} // namespace zltest

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    int failedClasses = 0;
    for (auto &[name, make] : zltest::registry()) {
        std::unique_ptr<QObject> test(make());
        if (QTest::qExec(test.get(), argc, argv) != 0) {
            ++failedClasses;
            std::fprintf(stderr, "FAILED: %s\n", name);
        }
    }
    return failedClasses == 0 ? 0 : 1;
}
