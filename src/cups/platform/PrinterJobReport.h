#pragma once
// What a printer that keeps its own jobs says of them. An IPP printer or a
// printer application a queue sends to (IPP Everywhere, LPrint) counts the
// pages it printed; the print system's own count is of pages its filters
// made, before the printer has them.
#include <QByteArray>
#include <QString>

namespace zl::printer {

// The printer behind a queue's device URI when it reports its own jobs;
// empty for another CUPS server (which counts as this one does) and for a
// USB or socket printer (which tells nothing).
QString reportingPrinter(const QString &deviceUri);

// What the printer says of the jobs the queue made of one document named
// `jobName` (`allPages` long): the most pages one of them printed (all of
// them for a completed one), and the most any other printed (the print
// system sent the document again from its start).
struct PrinterNews {
    bool answered = false;
    int pages = 0;
    bool completed = false;
    int pagesBefore = 0;
};
PrinterNews askPrinter(const QString &uri, const QByteArray &jobName, int allPages);

} // namespace zl::printer
