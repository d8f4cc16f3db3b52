#include "ModalDialogs.h"

#include <QApplication>
#include <QTest>
#include <QTimer>

namespace zltest {

void whenDialogIsUp(QObject *context, std::function<bool(QDialog *)> isIt, std::function<void(QDialog *)> act,
                    int triesLeft)
{
    QTimer::singleShot(20, context, [=] {
        auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        if (!dialog || !isIt(dialog)) {
            if (triesLeft > 0) {
                whenDialogIsUp(context, isIt, act, triesLeft - 1);
                return;
            }
            QTest::qFail("the dialog did not come up within a minute", __FILE__, __LINE__);
        } else {
            act(dialog);
        }
        if (QTest::currentTestFailed())
            while (QWidget *open = QApplication::activeModalWidget())
                open->close();
    });
}

} // namespace zltest
