#pragma once
// The installed printers: the CUPS queues in the order the printing system
// lists them, then the built-in PDF printer. The list is asked afresh each
// time it is used, so a queue added or removed while the program runs is
// seen; nothing is asked while the program starts. Read on the windows'
// thread, the list is the one heard last and the question goes to a worker:
// PrinterInForceNews tells when its answer brings something new.
#include "printer/Printer.h"

#include <QStringList>

#include <map>
#include <memory>

namespace zl::printer {

class CupsPrinter;

class SystemPrinterCollection : public PrinterCollection {
public:
    // builtInPdf may be null (then only the queues are listed).
    explicit SystemPrinterCollection(std::unique_ptr<Printer> builtInPdf);
    ~SystemPrinterCollection() override;

    QList<Printer *> printers() const override;
    // Until one is chosen: the printer the operator kept (PrinterChoice.h),
    // else the user's default queue, else the built-in PDF printer, so the
    // operator can always print somewhere. Where no print system runs and
    // none is named, the built-in printer stands in and says so.
    Printer *current() const override;
    void setCurrent(Printer *printer) override;
    QString problem() const override;
    QString currentProblem() const override;
    Printer *builtIn() const override { return m_pdf.get(); }
    bool stillAsking() const override;

    struct Listing;

private:
    // Takes what is known of the queues now: asked here where this thread
    // may wait, else the answer a worker has brought since (and a question
    // sent when none is out).
    void refresh() const;
    void take(const Listing &listing) const;

    struct Asking;
    // A list of queues has been taken (answered or not).
    mutable bool m_heard = false;
    mutable QString m_lastDefault;

    std::unique_ptr<Printer> m_pdf;
    const std::shared_ptr<Asking> m_asking;
    // One object per queue name, kept for the program's life so that a
    // printer held by a screen never dangles after its queue is removed.
    mutable std::map<QString, std::unique_ptr<CupsPrinter>> m_queues;
    mutable QStringList m_lastNames;
    mutable Printer *m_current = nullptr;
    mutable bool m_currentChosen = false;
    mutable bool m_choiceRead = false;
    // Why the printing system could not be asked last time; empty when it answered.
    mutable QString m_unanswered;
    // The default was unknown because the printing system did not answer.
    mutable bool m_currentGuessed = false;
    // The last question found no scheduler on this machine, and none was
    // named anywhere: there is no print system to wait for.
    mutable bool m_noPrintSystem = false;
    // Why the kept choice could not be read; runs refuse until one is made.
    mutable QString m_choiceProblem;
};

std::unique_ptr<PrinterCollection> systemPrinters(std::unique_ptr<Printer> builtInPdf);
void installSystemPrinters(std::unique_ptr<Printer> builtInPdf);

} // namespace zl::printer
