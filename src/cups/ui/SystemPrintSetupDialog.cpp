#include "cups/ui/SystemPrintSetupDialog.h"

#include "common/Failure.h"
#include "printer/DeviceRecords.h"
#include "cups/platform/CupsConnection.h"
#include "cups/platform/PrintSetupMapping.h"
#include "cups/platform/QtPrintDialogParts.h"
#include "ui/Dialogs.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QDialogButtonBox>
#include <QEvent>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QPointer>
#include <QTabWidget>
#include <QThread>
#include <QVBoxLayout>
#include <functional>

namespace zl::ui {

namespace {

namespace parts = printer::qtdialog;

// Said once a run of the program: what of Qt's dialog was not found is left as Qt made it.
void warnOfMissingParts(const QStringList &missing)
{
    // Process-wide so that it is said once a run; the windows' thread only.
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

// The printers the form offers: every CUPS queue Qt lists (not an
// lpoptions instance, which is a set of options of a queue listed already),
// then the program's own PDF printer, once, where Qt would offer printing to
// a file. Returns the PDF printer's entry, or -1 without one.
int offerPrinters(QComboBox &box, printer::Printer *pdfPrinter)
{
    QStringList queues;
    if (auto *all = printer::printers()) {
        for (printer::Printer *p : all->printers())
            if (p != pdfPrinter)
                queues << p->deviceName();
    }
    for (int i = box.count() - 1; i >= 0; --i) {
        if (!queues.contains(box.itemText(i)))
            box.removeItem(i);
    }
    if (!pdfPrinter)
        return -1;
    box.addItem(pdfPrinter->deviceName());
    return box.count() - 1;
}

// Qt knows nothing of the PDF printer: beside its entry the form says where
// its files go, and its printer properties (Qt's page sizes) are not offered;
// the paper is chosen on 「プリンター/用紙設定」.
void describePdfEntry(QPrintDialog &dialog, int index, int pdfEntry, const printer::Printer &pdfPrinter)
{
    const bool pdf = index == pdfEntry;
    if (auto *properties = dialog.findChild<QWidget *>(QLatin1String(parts::kPropertiesButton)))
        properties->setEnabled(!pdf);
    if (!pdf)
        return;
    if (auto *location = dialog.findChild<QLabel *>(QLatin1String(parts::kLocation)))
        location->setText(QDir::toNativeSeparators(pdfPrinter.port()));
    if (auto *type = dialog.findChild<QLabel *>(QLatin1String(parts::kType)))
        type->setText(QStringLiteral("PDFファイル（1回の印刷で1ファイル）"));
}

// The records turned to the PDF printer, chosen over the printer they held.
void takePdfPrinter(printer::PrintSetupRecords &records, const printer::Printer &pdfPrinter)
{
    using namespace printer;
    DevMode &dm = records.devMode;
    setDevModeDeviceName(dm, pdfPrinter.deviceName());
    fillDevNames(records.devNames, pdfPrinter.driverName(), pdfPrinter.deviceName(), pdfPrinter.port());
    records.deviceName = pdfPrinter.deviceName();
    // A label printer's own stock is no paper of the PDF printer: it keeps
    // the paper it has.
    const QList<PaperInfo> papers = pdfPrinter.papers();
    if (std::none_of(papers.begin(), papers.end(), [&dm](const PaperInfo &p) { return p.code == dm.dmPaperSize; })) {
        dm.dmFields |= DM_PAPERSIZE | DM_PAPERWIDTH | DM_PAPERLENGTH;
        dm.dmPaperSize = int16_t(pdfPrinter.paperSize().value_or(kUserPaperSize));
        dm.dmPaperWidth = int16_t(tenthsMmFromTwips(pdfPrinter.pageWidthTwips().value_or(0)));
        dm.dmPaperLength = int16_t(tenthsMmFromTwips(pdfPrinter.pageHeightTwips().value_or(0)));
    }
}

// What the printing system is known to have said of late: why it does not
// answer, or empty when that is not known.
QString knownSilence()
{
    if (!printer::cupsRecentlySilent())
        return {};
    const printer::PrinterCollection *all = printer::printers();
    const QString problem = all ? all->problem() : QString();
    return problem.isEmpty() ? QStringLiteral("印刷システム(CUPS)が応答しません（%1）。").arg(printer::cupsServerName())
                             : problem;
}

// Whether the printing system answers, asked on a thread of its own: Qt's
// dialog would wait for it without a limit. `silence` is why not, empty
// when it answers (or there is none to wait for); read once the thread has
// finished. The thread deletes itself.
QThread *askWhetherSchedulerAnswers(const std::shared_ptr<QString> &silence)
{
    QThread *asking = QThread::create([silence] {
        try {
            printer::requireSchedulerAnswering();
        } catch (const Failure &f) {
            *silence = f.description();
        }
    });
    QObject::connect(asking, &QThread::finished, asking, &QObject::deleteLater);
    return asking;
}

enum class WithoutCups { Cancelled, Chosen, Answered };
constexpr int kSchedulerAnswered = 2; // the dialog's result when it did

// The print setup while the printing system does not answer, or while it is
// asked whether it does (`asking`): the printers known so far and the PDF
// printer, to choose from; what a queue offers cannot be asked now, so
// nothing else is set here. Once the printing system answers, the dialog
// gives way to the full one (Answered).
WithoutCups choosePrinterWithoutCups(printer::PrintSetupRecords &records, const QString &silence, QWidget *owner,
                                     QThread *asking = nullptr, const std::shared_ptr<QString> &heard = {})
{
    using namespace printer;
    PrinterCollection *all = printers();
    if (!all)
        return WithoutCups::Cancelled;
    const WithoutWaiting withoutWaiting;
    QDialog dialog(owner);
    dialog.setObjectName(QStringLiteral("PrintSetupWithoutCups"));
    dialog.setWindowTitle(QStringLiteral("プリンターの設定"));
    const QString pdfName = all->builtIn() ? all->builtIn()->deviceName() : QString();
    const auto silentText = [pdfName](const QString &why) {
        return why + QStringLiteral("\nいまは「%1」と、これまでに分かっているプリンターから選べます。"
                                    "プリンターの用紙や詳しい設定は、CUPSが応答するようになってから変更してください。")
                         .arg(pdfName);
    };
    auto *said = new QLabel(asking ? QStringLiteral("印刷システム(CUPS)に問い合わせています…\n"
                                                    "応答があればプリンターの設定を開きます。いまは「%1」と、"
                                                    "これまでに分かっているプリンターから選べます。")
                                         .arg(pdfName)
                                   : silentText(silence),
                            &dialog);
    said->setObjectName(QStringLiteral("said"));
    said->setWordWrap(true);
    if (asking)
        QObject::connect(asking, &QThread::finished, &dialog, [&dialog, said, heard, silentText] {
            if (heard->isEmpty())
                dialog.done(kSchedulerAnswered);
            else
                said->setText(silentText(*heard));
        });
    auto *box = new QComboBox(&dialog);
    box->setObjectName(QLatin1String(parts::kPrinterList));
    const QList<Printer *> offered = all->printers();
    for (const Printer *p : offered)
        box->addItem(p->deviceName());
    const int opened = int(offered.indexOf(findPrinter(records.deviceName)));
    box->setCurrentIndex(opened >= 0 ? opened : int(offered.size()) - 1);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("OK"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("キャンセル"));
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    auto *layout = new QVBoxLayout(&dialog);
    layout->addWidget(said);
    layout->addWidget(box);
    layout->addWidget(buttons);
    if (asking)
        asking->start();
    const int result = dialog.exec();
    if (result == kSchedulerAnswered)
        return WithoutCups::Answered;
    if (result != QDialog::Accepted || box->currentIndex() < 0)
        return WithoutCups::Cancelled;
    Printer *chosen = offered[box->currentIndex()];
    if (box->currentIndex() == opened)
        return WithoutCups::Chosen;
    if (chosen == all->builtIn())
        takePdfPrinter(records, *chosen);
    else
        records = buildPrintSetupRecords(chosen);
    return WithoutCups::Chosen;
}

} // namespace

bool SystemPrintSetupDialog::run(printer::PrintSetupRecords &records, uint32_t, QWidget *owner)
{
    using namespace printer;
    // A silent printing system is no dead end: the PDF printer can still
    // be chosen, and the queues known so far, also while it is asked.
    if (const QString silence = knownSilence(); !silence.isEmpty())
        return choosePrinterWithoutCups(records, silence, owner) == WithoutCups::Chosen;
    const auto heard = std::make_shared<QString>();
    switch (choosePrinterWithoutCups(records, QString(), owner, askWhetherSchedulerAnswers(heard), heard)) {
    case WithoutCups::Cancelled:
        return false;
    case WithoutCups::Chosen:
        return true;
    case WithoutCups::Answered:
        break;
    }
    // The printing system has just answered, and Qt's dialog asks it
    // itself: what the queues offer is asked here too (WaitingAllowed).
    const WaitingAllowed answered;
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
    // Without Qt's print-to-file entry: the PDF printer is the program's own.
    dialog.setOptions(QAbstractPrintDialog::PrintShowPageSize);
    keepToPrintSetup(dialog);
    Printer *pdfPrinter = printers() ? printers()->builtIn() : nullptr;
    auto *printerBox = dialog.findChild<QComboBox *>(QLatin1String(parts::kPrinterList));
    const int pdfEntry = printerBox ? offerPrinters(*printerBox, pdfPrinter) : -1;
    const bool openedOnPdf = pdfEntry >= 0 && findPrinter(records.deviceName) == pdfPrinter;
    if (pdfEntry >= 0) {
        if (openedOnPdf)
            printerBox->setCurrentIndex(pdfEntry);
        describePdfEntry(dialog, printerBox->currentIndex(), pdfEntry, *pdfPrinter);
        QObject::connect(printerBox, &QComboBox::currentIndexChanged, &dialog,
                         [&dialog, pdfEntry, pdfPrinter](int index) { describePdfEntry(dialog, index, pdfEntry, *pdfPrinter); });
    }
    PropertiesWatcher watcher(records, paperName);
    watcher.m_currentQueue = [&qprinter, &dialog] {
        auto *box = dialog.findChild<QComboBox *>(QLatin1String(parts::kPrinterList));
        return box ? box->currentText() : qprinter.printerName();
    };
    qApp->installEventFilter(&watcher);
    // What the dialog opened on, to know an unchanged OK.
    const QString offered = qprinter.printerName();
    const int answer = dialog.exec();
    qApp->removeEventFilter(&watcher);
    if (answer != QDialog::Accepted)
        return false;
    if (pdfEntry >= 0 && printerBox->currentIndex() == pdfEntry) {
        if (!openedOnPdf)
            takePdfPrinter(records, *pdfPrinter);
        return true;
    }
    const PropertiesChoice choice = watcher.choice(dialog);
    // An unchanged OK changes nothing; a queue chosen over the PDF printer
    // is a change even where it is the one the dialog held behind it.
    if (!openedOnPdf && qprinter.printerName() == offered && !choice.shown)
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
