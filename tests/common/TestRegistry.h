#pragma once
// Lets one test executable per area hold several QObject test classes.
#include <QObject>
#include <functional>
#include <vector>

namespace zltest {
using Factory = std::function<QObject *()>;
std::vector<std::pair<const char *, Factory>> &registry();
struct Registrar {
    Registrar(const char *name, Factory f) { registry().emplace_back(name, std::move(f)); }
};
} // namespace zltest

#define ZL_TEST(Class) \
    static zltest::Registrar zl_registrar_##Class(#Class, [] { return static_cast<QObject *>(new Class); });
