#pragma once
// Driving modal dialogs (Qt's print dialog, its printer properties) from a
// test while the code under test waits in their exec().
#include <QDialog>
#include <functional>

namespace zltest {

// Acts on a modal dialog once it is up, looked for every 20 ms for up to a
// minute, never at a guessed moment: a busy machine opens it late. When the
// dialog never comes, or a check in `act` fails, every modal dialog is
// closed, so the test fails where it is instead of hanging on an open one.
void whenDialogIsUp(QObject *context, std::function<bool(QDialog *)> isIt, std::function<void(QDialog *)> act,
                    int triesLeft = 3000);

} // namespace zltest
