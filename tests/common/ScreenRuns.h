#pragma once
// A print screen's run goes on its own thread and ends in the screen's event
// loop; a test clicks the start button and goes on once the click is over.
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QWidget>

namespace zltest {

// Clicks the screen's start button (Command3); on a print screen, waits
// until what the click started is over (a run, or its refusal).
inline void clickStart(QWidget *screen)
{
    auto *start = screen->findChild<QPushButton *>(QStringLiteral("Command3"));
    QVERIFY(start);
    if (screen->metaObject()->indexOfSignal("runEnded()") < 0) {
        start->click();
        return;
    }
    QSignalSpy ended(screen, SIGNAL(runEnded()));
    start->click();
    // Generous: a busy machine draws slowly, and a run that hangs fails here.
    if (ended.isEmpty())
        QVERIFY(ended.wait(180000));
}

} // namespace zltest
