#pragma once
// What a settings table can hold: a value goes between double quotes, on one
// line, in CP932, and must read back as the same text.
#include <QString>

namespace zl::settings {

// Throws zl::Failure naming `what` (「タイトル1」の値, 列名) and the value when
// the text holds a double quote, a line break, a character CP932 has no code
// for, or one that reads back as another (¥ is stored as the backslash's byte).
void checkStorable(const QString &text, const QString &what);

} // namespace zl::settings
