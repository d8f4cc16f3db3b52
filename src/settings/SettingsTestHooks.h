#pragma once
// Fault injection for the settings writer: tests set beforeCommit to throw,
// which must leave the old table untouched.
#include <functional>

namespace zl::settings::testhooks {
extern std::function<void()> beforeCommit;
}
