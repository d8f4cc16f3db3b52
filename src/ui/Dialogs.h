#pragma once
// Small facades over the blocking dialogs, so tests can answer them.
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>

class QMessageBox;
class QWidget;

namespace zl::ui {

// Message box styles as the screens name them.
enum MessageStyle : int {
    OkOnly = 0,
    Critical = 16,
    Exclamation = 48,
    Information = 64,
};

struct ShownMessage {
    QString text;
    QString title;
    int style = OkOnly;
};

// Shows a message box with an OK button and waits for it.
void showMessage(QWidget *parent, const QString &text, const QString &title, int style);
// The box showMessage shows, not yet shown.
std::unique_ptr<QMessageBox> messageBox(QWidget *parent, const QString &text, const QString &title, int style);

// Asks a question with two answers, 「印刷する」 and 「やめる」 (the
// default): true for the first. An empty `goOn` offers 「やめる」 alone (the
// answer is then false). With a recorder installed the question is
// recorded and answered by the answerer (none: 「やめる」).
bool askToGoOn(QWidget *parent, const QString &text, const QString &title, const QString &goOn);
void answerQuestionsWith(std::function<bool(const ShownMessage &)> answerer);

// The system open-file dialog for a data file, opened in `folder` when it
// exists: the chosen file's absolute path, or nothing on cancel.
std::optional<QString> chooseFileToOpen(QWidget *parent, const QString &folder = QString());

// Test hooks: while a recorder is installed no box is shown; each message is
// appended to the list instead. A file chooser answers the open-file dialog.
void recordMessagesInto(QList<ShownMessage> *sink);
void answerFileDialogWith(std::function<std::optional<QString>()> chooser);

} // namespace zl::ui
