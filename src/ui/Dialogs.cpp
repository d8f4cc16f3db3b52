#include "ui/Dialogs.h"

#include <QFileDialog>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QIdentityProxyModel>
#include <QLocale>
#include <QHeaderView>
#include <QTreeView>
#include <QMessageBox>
#include <QPushButton>

namespace zl::ui {
namespace {

class FolderTypeNames : public QFileIconProvider {
public:
    QString type(const QFileInfo &info) const override
    {
        return info.isDir() && !info.isRoot() ? QStringLiteral("フォルダー") : QFileIconProvider::type(info);
    }
};

// Qt's file model writes the dates in the system's format ("7 Dec 2026"
// under C or an English session); the operator reads the program's Japanese
// one, as on every screen.
class ProgramDates : public QIdentityProxyModel {
public:
    using QIdentityProxyModel::QIdentityProxyModel;
    QVariant data(const QModelIndex &index, int role) const override
    {
        constexpr int kDateColumn = 3;
        if (role == Qt::DisplayRole && index.column() == kDateColumn)
            if (auto *files = qobject_cast<QFileSystemModel *>(sourceModel()))
                return QLocale().toString(files->lastModified(mapToSource(index)), QLocale::ShortFormat);
        return QIdentityProxyModel::data(index, role);
    }
};

QList<ShownMessage> *g_sink = nullptr;
std::function<std::optional<QString>()> g_chooser;
std::function<bool(const ShownMessage &)> g_answerer;
} // namespace

void recordMessagesInto(QList<ShownMessage> *sink)
{
    g_sink = sink;
}

void answerFileDialogWith(std::function<std::optional<QString>()> chooser)
{
    g_chooser = std::move(chooser);
}

std::unique_ptr<QMessageBox> messageBox(QWidget *parent, const QString &text, const QString &title, int style)
{
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    switch (style) {
    case Critical: icon = QMessageBox::Critical; break;
    case Exclamation: icon = QMessageBox::Warning; break;
    case Information: icon = QMessageBox::Information; break;
    default: break;
    }
    // A message must fit the screen whatever a value in it holds (a runaway
    // data column, a long list): long lines and the lines past a screenful are
    // cut, and the whole text stays readable under 「詳細」.
    constexpr int kLineLength = 160;
    constexpr int kLines = 24;
    QStringList lines = text.split(QLatin1Char('\n'));
    bool cut = false;
    for (QString &line : lines)
        if (line.size() > kLineLength) {
            line = line.left(kLineLength) + QStringLiteral("…");
            cut = true;
        }
    if (lines.size() > kLines) {
        lines = lines.mid(0, kLines - 1) << QStringLiteral("…");
        cut = true;
    }
    auto box = std::make_unique<QMessageBox>(icon, title, lines.join(QLatin1Char('\n')), QMessageBox::Ok, parent);
    if (cut)
        box->setDetailedText(text);
    // A path or an address in a message is there to be copied.
    box->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return box;
}

void showMessage(QWidget *parent, const QString &text, const QString &title, int style)
{
    if (g_sink) {
        g_sink->append({text, title, style});
        return;
    }
    messageBox(parent, text, title, style)->exec();
}

void answerQuestionsWith(std::function<bool(const ShownMessage &)> answerer)
{
    g_answerer = std::move(answerer);
}

bool askToGoOn(QWidget *parent, const QString &text, const QString &title, const QString &goOn)
{
    if (g_sink) {
        const ShownMessage asked{text, title, Exclamation};
        g_sink->append(asked);
        return !goOn.isEmpty() && g_answerer && g_answerer(asked);
    }
    std::unique_ptr<QMessageBox> box = messageBox(parent, text, title, Exclamation);
    box->setStandardButtons(QMessageBox::NoButton);
    QPushButton *yes = goOn.isEmpty() ? nullptr : box->addButton(goOn, QMessageBox::AcceptRole);
    QPushButton *no = box->addButton(QStringLiteral("やめる"), QMessageBox::RejectRole);
    box->setDefaultButton(no);
    box->setEscapeButton(no);
    box->exec();
    return yes && box->clickedButton() == yes;
}

std::optional<QString> chooseFileToOpen(QWidget *parent, const QString &folder)
{
    if (g_chooser)
        return g_chooser();
    QFileDialog dialog(parent);
    dialog.setProxyModel(new ProgramDates(&dialog));
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    // Where the data is now, not wherever the program was started from.
    if (!folder.isEmpty() && QFileInfo(folder).isDir())
        dialog.setDirectory(folder);
    dialog.setNameFilters({QStringLiteral("CSV ファイル (*.csv *.CSV *.txt *.TXT)"), QStringLiteral("すべてのファイル (*)")});
    // Qt's translation has no word for the folders' type; the operator reads
    // Japanese in every other column.
    FolderTypeNames names;
    dialog.setIconProvider(&names);
    // Sizes, types and dates whole; the names take the rest.
    dialog.resize(860, 480);
    if (auto *details = dialog.findChild<QTreeView *>(QStringLiteral("treeView"))) {
        QHeaderView *header = details->header();
        header->setStretchLastSection(false);
        header->setSectionResizeMode(0, QHeaderView::Stretch);
        for (int column = 1; column < header->count(); ++column)
            header->setSectionResizeMode(column, QHeaderView::ResizeToContents);
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().constFirst();
}

} // namespace zl::ui
