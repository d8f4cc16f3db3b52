#include "printer/ui/SystemPrintSetupDialog.h"

#include "common/Failure.h"
#include "printer/DeviceRecords.h"
#include "printer/platform/CupsPrinter.h"
#include "printer/platform/PrintSetupMapping.h"
#include "printer/platform/QtPrintDialogParts.h"
#include "ui/Dialogs.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QEvent>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QPointer>
#include <QTabWidget>
#include <functional>

namespace zl::ui {

namespace {

namespace parts = printer::qtdialog;

// Said once a run of the program: what of Qt's dialog was not found is left as Qt made it.
void warnOfMissingParts(const QStringList &missing)
{
    static QStringList warned;
    for (const QString &part : missing) {
        if (!warned.contains(part)) {
            warned << part;
            qWarning("Qt's print dialog has no %s: it is shown as Qt made it", qPrintable(part));
        }
    }
}

// The printer properties (paper and driver options) open on what is in
// force, not on the queue's defaults as Qt would show them; and whether the
// operator opened them at all is remembered, since Qt resets the paper on
// every accept.
class PropertiesWatcher : public QObject {
public:
    PropertiesWatcher(const printer::PrintSetupRecords &records, const QString &paperName)
        : m_queue(records.deviceName), m_paperName(paperName), m_dpi(records.devMode.dmPrintQuality)
    {
        for (const QString &o : records.driverOptions)
            m_options.insert(o.section(QLatin1Char('='), 0, 0), o.section(QLatin1Char('='), 1));
    }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        // Qt shows the output file's name again as the dialog opens: the
        // built-in PDF printer chooses its own file.
        if (event->type() == QEvent::Show && watched->inherits("QPrintDialog")) {
            for (const char *name : parts::kOutputFile)
                if (auto *w = watched->findChild<QWidget *>(QLatin1String(name)))
                    w->hide();
        }
        if (event->type() == QEvent::Show && watched->inherits(parts::kPropertiesDialogClass)) {
            auto *dialog = static_cast<QWidget *>(watched);
            if (!m_prepared.contains(dialog)) {
                m_prepared << dialog;
                warnOfMissingParts(parts::missingInPropertiesDialog(*dialog, false));
                keepToPrinterProperties(dialog);
                if (m_queue == m_currentQueue())
                    preselect(dialog);
            }
            m_shown = dialog;
        }
        return false;
    }

    std::function<QString()> m_currentQueue;

    printer::PropertiesChoice choice(const QPrintDialog &dialog) const
    {
        printer::PropertiesChoice c;
        // Only the properties of the printer finally chosen count; Qt makes
        // them anew when another printer is chosen.
        if (!m_shown || !dialog.findChildren<QWidget *>().contains(m_shown.data()))
            return c;
        c.shown = true;
        for (const QComboBox *box : m_shown->findChildren<QComboBox *>()) {
            const auto option = parts::driverOptionOf(box);
            const int index = box->currentData().toInt();
            if (option && index >= 0 && index < option->choices.size())
                c.driverChoices.insert(option->keyword, option->choices[index]);
        }
        return c;
    }

private:
    // Margins, pages per sheet and the job's scheduling are not settings
    // of a label printer that a run sends; they are not offered.
    static void keepToPrinterProperties(QWidget *dialog)
    {
        if (auto *pageSetup = dialog->findChild<QWidget *>(QLatin1String(parts::kPageSetup))) {
            for (const char *name : parts::kPageSetupRunParts) {
                if (auto *w = pageSetup->findChild<QWidget *>(QLatin1String(name)))
                    w->hide();
            }
        }
        auto *jobs = dialog->findChild<QWidget *>(QLatin1String(parts::kJobOptions));
        auto *tabs = dialog->findChild<QTabWidget *>(QLatin1String(parts::kTabs));
        if (jobs && tabs) {
            for (int i = tabs->count() - 1; i >= 0; --i) {
                if (tabs->widget(i) == jobs || tabs->widget(i)->isAncestorOf(jobs))
                    tabs->removeTab(i);
            }
        }
    }

    void preselect(QWidget *dialog) const
    {
        for (QComboBox *box : dialog->findChildren<QComboBox *>()) {
            if (box->objectName() == QLatin1String(parts::kPaperList)) {
                const int i = box->findText(m_paperName);
                if (i >= 0)
                    box->setCurrentIndex(i);
                continue;
            }
            const auto option = parts::driverOptionOf(box);
            if (!option)
                continue;
            const QString &keyword = option->keyword;
            QString wanted = m_options.value(keyword);
            if (keyword == QLatin1String("Resolution") && m_dpi > 0)
                wanted = QStringLiteral("%1dpi").arg(m_dpi);
            for (int c = 0; c < option->choices.size() && !wanted.isEmpty(); ++c) {
                const QString &choice = option->choices[c];
                if (choice == wanted || (keyword == QLatin1String("Resolution") && choice.startsWith(wanted.chopped(3)))) {
                    if (const int i = box->findData(c); i >= 0)
                        box->setCurrentIndex(i);
                    break;
                }
            }
        }
    }

    QString m_queue;
    QString m_paperName;
    int m_dpi = 0;
    QMap<QString, QString> m_options;
    QList<QWidget *> m_prepared;
    QPointer<QWidget> m_shown;
};

// The print-setup form chooses a printer, its paper and its driver's
// settings; copies, page ranges, selection and printing to a file are the
// print run's business and are not offered.
void keepToPrintSetup(QPrintDialog &dialog)
{
    warnOfMissingParts(parts::missingInPrintDialog(dialog));
    for (const char *name : parts::kRunOnlyParts) {
        if (auto *w = dialog.findChild<QWidget *>(QLatin1String(name)))
            w->hide();
    }
    for (const char *name : parts::kOutputFile) {
        if (auto *w = dialog.findChild<QWidget *>(QLatin1String(name)))
            w->hide();
    }
    if (auto *copies = dialog.findChild<QWidget *>(QLatin1String(parts::kCopies))) {
        if (auto *tabs = dialog.findChild<QTabWidget *>(QLatin1String(parts::kTabs))) {
            for (int i = tabs->count() - 1; i >= 0; --i) {
                if (tabs->widget(i)->isAncestorOf(copies))
                    tabs->removeTab(i);
            }
        }
    }
    if (auto *buttons = dialog.findChild<QDialogButtonBox *>()) {
        if (QPushButton *ok = buttons->button(QDialogButtonBox::Ok))
            ok->setText(QStringLiteral("OK"));
        for (QAbstractButton *b : buttons->buttons()) {
            if (buttons->buttonRole(b) == QDialogButtonBox::AcceptRole)
                b->setText(QStringLiteral("OK"));
        }
    }
}

// The program's own PDF printer: the one installed printer that is not a
// CUPS queue (listed after them).
printer::Printer *builtInPdfPrinter()
{
    auto *all = printer::printers();
    const QList<printer::Printer *> list = all ? all->printers() : QList<printer::Printer *>();
    return list.isEmpty() || dynamic_cast<printer::CupsPrinter *>(list.last()) ? nullptr : list.last();
}

} // namespace

bool SystemPrintSetupDialog::run(printer::PrintSetupRecords &records, uint32_t, QWidget *owner)
{
    using namespace printer;
    requireSchedulerAnswering();
    QPrinter qprinter(QPrinter::HighResolution);
    configureFromRecords(qprinter, records);
    QString paperName;
    if (const Printer *p = findPrinter(records.deviceName)) {
        for (const PaperInfo &paper : p->papers()) {
            if (paper.code == records.devMode.dmPaperSize)
                paperName = paper.name;
        }
    }
    QPrintDialog dialog(&qprinter, owner);
    dialog.setWindowTitle(QStringLiteral("プリンターの設定"));
    // Qt lists only CUPS queues; its "print to file" entry stands in for the
    // built-in PDF printer, so a trial run need not cost label stock.
    dialog.setOptions(QAbstractPrintDialog::PrintShowPageSize | QAbstractPrintDialog::PrintToFile);
    keepToPrintSetup(dialog);
    Printer *pdfPrinter = builtInPdfPrinter();
    auto *printerBox = dialog.findChild<QComboBox *>(QLatin1String(parts::kPrinterList));
    const int pdfEntry = printerBox && pdfPrinter ? printerBox->count() - 1 : -1;
    if (pdfEntry >= 0) {
        printerBox->setItemText(pdfEntry, pdfPrinter->deviceName());
        if (findPrinter(records.deviceName) == pdfPrinter)
            printerBox->setCurrentIndex(pdfEntry);
    }
    const bool openedOnPdf = pdfEntry >= 0 && printerBox->currentIndex() == pdfEntry;
    PropertiesWatcher watcher(records, paperName);
    watcher.m_currentQueue = [&qprinter, &dialog] {
        auto *box = dialog.findChild<QComboBox *>(QLatin1String(parts::kPrinterList));
        return box ? box->currentText() : qprinter.printerName();
    };
    qApp->installEventFilter(&watcher);
    // The printer the dialog opens on: the one in force, or, for the
    // built-in PDF printer that it cannot list, the system's default queue.
    const QString offered = qprinter.printerName();
    const int answer = dialog.exec();
    qApp->removeEventFilter(&watcher);
    if (answer != QDialog::Accepted)
        return false;
    if (pdfEntry >= 0 && printerBox->currentIndex() == pdfEntry) {
        if (!openedOnPdf) {
            DevMode &dm = records.devMode;
            setDevModeDeviceName(dm, pdfPrinter->deviceName());
            fillDevNames(records.devNames, pdfPrinter->driverName(), pdfPrinter->deviceName(), pdfPrinter->port());
            records.deviceName = pdfPrinter->deviceName();
            // A label printer's own stock is no paper of the PDF printer:
            // it keeps the paper it has.
            const QList<PaperInfo> papers = pdfPrinter->papers();
            if (std::none_of(papers.begin(), papers.end(), [&dm](const PaperInfo &p) { return p.code == dm.dmPaperSize; })) {
                dm.dmFields |= DM_PAPERSIZE | DM_PAPERWIDTH | DM_PAPERLENGTH;
                dm.dmPaperSize = int16_t(pdfPrinter->paperSize().value_or(kUserPaperSize));
                dm.dmPaperWidth = int16_t(tenthsMmFromTwips(pdfPrinter->pageWidthTwips().value_or(0)));
                dm.dmPaperLength = int16_t(tenthsMmFromTwips(pdfPrinter->pageHeightTwips().value_or(0)));
            }
        }
        return true;
    }
    const PropertiesChoice choice = watcher.choice(dialog);
    // An unchanged OK changes nothing.
    if (qprinter.printerName() == offered && !choice.shown)
        return true;
    readBackIntoRecords(qprinter, records, choice);
    return true;
}

void installSystemPrintSetupDialog()
{
    printer::installPrintSetupDialog(std::make_unique<SystemPrintSetupDialog>());
}

bool ShowPrinterSetup(uint32_t flags, QWidget *owner)
{
    printer::SetupResult result = printer::SetupResult::Cancelled;
    try {
        result = printer::runPrinterSetup(flags, owner);
    } catch (const Failure &f) {
        showMessage(owner, f.description(), QStringLiteral("プリンタの設定"), Critical);
        return false;
    }
    if (result == printer::SetupResult::ConfirmedPaperRefused)
        showMessage(owner, QStringLiteral("指定された用紙サイズが不正です"), QStringLiteral("プリンタの設定"), OkOnly);
    if (result == printer::SetupResult::PrinterNotFound) {
        showMessage(owner,
                    QStringLiteral("選ばれたプリンターが見つかりません。削除されたか名前が変わった可能性があります。"
                                   "もう一度プリンターを選んでください。"),
                    QStringLiteral("プリンタの設定"), Critical);
        return false;
    }
    return result == printer::SetupResult::Confirmed || result == printer::SetupResult::ConfirmedPaperRefused;
}

} // namespace zl::ui
