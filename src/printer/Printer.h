#pragma once
// The printer seam: the process-wide current printer and the installed
// printers, as the print runs and the printer screens see them. The real
// printers are CUPS queues plus the built-in PDF printer (always last, so the
// operator can always print somewhere); tests install scripted ones.
//
// Paper codes are Windows paper numbers (A4 = 9, Letter = 1, 256 = a
// user-defined size given by page width and height); a queue's own sizes
// without such a number are numbered from 257 up in the order the queue lists
// them. Page sizes are in twips (1/1440 inch).
#include "common/LabelFate.h"
#include "printer/PagePlayback.h"

#include <QList>
#include <QPicture>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace zl::printer {

struct PaperInfo {
    int code = 0;
    int widthTwips = 0;
    int heightTwips = 0;
    QString name; // the queue's own name for it, for messages
};

// The resolution a page is drawn for where its printer names none: the
// thermal label printers' most common head, and the built-in PDF printer's.
constexpr int kDefaultDpi = 300;

// What a label is drawn on: sizes in millimetres, printable area relative to
// the paper's top-left corner.
struct PageGeometry {
    QSizeF paperMm;
    QRectF printableMm;
    int dpi = kDefaultDpi;
    int deviceDpi() const { return dpi > 0 ? dpi : kDefaultDpi; }
    // Where the device's first dot lies, from the paper's corner: a driver
    // that rasterises only the printable area starts its dots there.
    QPointF dotGridOriginMm = QPointF(0, 0);
    // How far inside its dots a bar is drawn. An edge exactly on a dot
    // boundary widens the bar by a dot where the rasteriser paints every
    // dot a shape touches (Ghostscript for CUPS' label drivers) or greys it
    // for a printer application to dither (LPrint); one that paints by dot
    // centres paints the same dots either way. A PDF kept as a file is
    // drawn to the dot.
    double barInsetDots = 0;
    // A continuous roll: the page is as long as the label put on it
    // (Printer::setLabelLength); paperMm's height is the length in force.
    bool roll = false;
    // A label of a sheet: the printable area is the label itself, not an
    // area inside it.
    bool sheetLabel = false;
};

// The label stock the layout is drawn for.
constexpr double kLayoutWidthMm = 50, kLayoutHeightMm = 30;

// How the layout meets a label larger than itself: fitted to fill it, or
// at its own size in the label's corner (the operator's 「原寸で印刷」). A
// label smaller than the layout always has it fitted.
enum class LabelScale { Fit, ActualSize };

// How the documents of a run ended at the printer.
struct DocumentsEnd {
    bool known = false; // false: the printer cannot tell (every one sent counts)
    // Per document sent in the run, in order. Only what the printer itself
    // reports, or a job the print system completed, is Out; what the print
    // system has only processed is Unknown.
    QList<LabelFate> fates;
    // The first `twice` documents may have come out twice: the print
    // system started the job again from its first page (a restart).
    int twice = 0;
    // Why the first that did not come out did not, in the operator's words;
    // empty when the run's own cancel took it back.
    QString problem;
};

// Why a printer prints runs nobody sent to it (the built-in PDF printer
// while no print system runs), in the operator's words.
struct StandIn {
    QString notice; // before a run: what happens, and what to do about it
    QString done;   // after a run: what happened
    bool isEmpty() const { return notice.isEmpty() && done.isEmpty(); }
};

// What a printer waiting for a run's documents is told and tells.
struct DocumentsWait {
    // Asked while waiting: the operator wants the rest taken back.
    std::function<bool()> cancel;
    // Told whenever the counts change: of the `sent`, how many the print
    // system has processed (made ready for the printer) and how many are
    // known to have come out of it.
    std::function<void(int sent, int processed, int out)> progress;
    // Told what the documents wait for, in the operator's words (a print
    // system that does not answer, a held job, the printer's own state);
    // empty once nothing holds them up.
    std::function<void(const QString &)> waiting;
};

// The codes of the settings every printer takes alike, as the stored
// printer settings hold them.
inline bool isColorModeCode(int mode) { return mode == 1 || mode == 2; }   // monochrome, colour
inline bool isDuplexCode(int duplex) { return duplex >= 1 && duplex <= 3; } // simplex, long edge, short edge
inline bool isOrientationCode(int orientation) { return orientation == 1 || orientation == 2; } // portrait, landscape

class Printer;
// Called once, on the run's thread; the printer it makes is the run's alone
// and goes when the run ends.
using RunPrinterMaker = std::function<std::unique_ptr<Printer>()>;

class Printer {
public:
    virtual ~Printer() = default;

    virtual QString deviceName() const = 0;
    virtual QString driverName() const = 0;
    virtual QString port() const = 0;

    // Every read can be refused (nothing), every set can be refused (false).
    virtual std::optional<int> paperSize() const = 0;
    virtual bool setPaperSize(int code) = 0;
    virtual std::optional<int> pageWidthTwips() const = 0;
    virtual std::optional<int> pageHeightTwips() const = 0;
    // Only meaningful on paper size 256.
    virtual bool setPageWidthTwips(int twips) = 0;
    virtual bool setPageHeightTwips(int twips) = 0;
    virtual std::optional<int> paperBin() const = 0;
    virtual bool setPaperBin(int bin) = 0;
    virtual std::optional<int> printQuality() const = 0;
    virtual bool setPrintQuality(int quality) = 0;
    virtual std::optional<int> colorMode() const = 0;
    virtual bool setColorMode(int mode) = 0;
    virtual std::optional<int> duplex() const = 0;
    virtual bool setDuplex(int duplex) = 0;
    virtual std::optional<int> orientation() const = 0;
    virtual bool setOrientation(int orientation) = 0;
    virtual std::optional<int> zoom() const = 0;
    virtual bool setZoom(int percent) = 0;

    // Makes, on the thread a print run prints on, a printer of the run's own:
    // the same printer with the settings in force when this was asked, taken
    // as one value, so the run changes nothing the windows read (its sheet's
    // paper, a roll's label length, its connection, job and file) and
    // nothing the operator sets meanwhile reaches the run. Empty where the
    // printer cannot print a run of its own (a sheet's printer, which lives
    // inside a run).
    virtual RunPrinterMaker runPrinterMaker() const = 0;

    // Every paper this printer accepts, codes ascending. One question to the
    // printing system answers what probing codes 1..1024 one by one would.
    virtual QList<PaperInfo> papers() const = 0;

    // The page a label is drawn on, for the current paper.
    virtual PageGeometry pageGeometry() const = 0;
    // The page paper `code` (one of papers()) would give, the paper in force
    // left as it is: a preview shows the page a run will take before the
    // run takes it.
    virtual PageGeometry pageGeometryFor(int code) const = 0;
    // On a continuous roll (pageGeometry().roll): the length of the page
    // each label is printed on from now on, the label's own length. False,
    // and nothing changes, where the paper is not a roll.
    virtual bool setLabelLength(double mm)
    {
        Q_UNUSED(mm);
        return false;
    }
    // Sends one finished document (one picture per page, drawn in
    // millimetres from the printable area's top-left corner). Within a run
    // a printer may gather the run's documents and send them together at
    // finishDocuments (a CUPS queue prints a run as one job). Throws
    // zl::Failure when the printer cannot take it.
    virtual void printDocument(const QList<QPicture> &pages) = 0;
    // Sends one page of paper that holds several documents' pages (a sheet
    // of labels) as one document. Printers that draw pages themselves draw
    // the placed pages straight onto the paper; the others are given them
    // recorded as one page.
    virtual void printPlaced(const PaperPage &placed) { printDocument({recordPlaced(placed)}); }

    // A print run brackets its documents here, so a printer can gather them
    // (the built-in PDF printer writes one file per run). endRun is called
    // once for every beginRun, with ok false when the run failed part way:
    // what was printed before the failure is kept. It returns what the
    // operator should be told about where the labels went (empty: nothing),
    // and throws zl::Failure when the printed labels could not be kept.
    virtual void beginRun() {}
    virtual QString endRun(bool ok)
    {
        Q_UNUSED(ok);
        return {};
    }
    // Options of the printer's own driver ("name=value", e.g. Darkness=10)
    // as its print-setup dialog shows them; printers without have none.
    virtual QStringList driverOptions() const { return {}; }
    virtual bool setDriverOptions(const QStringList &options) { return options.isEmpty(); }
    // Makes this printer, with its paper, resolution and driver options,
    // the operator's own default for every program (on CUPS: the user's
    // lpoptions, never the system's). False when it cannot be saved; a
    // printer of the program's own has nothing to save.
    virtual bool makeUserDefault() { return true; }
    // After the last document of a run, however the run ends: waits until
    // every document the run sent has ended at the printer, cancelling
    // those not yet printed when `wait.cancel` says so, and tells how they
    // ended. Throws zl::Failure only when the printing system cannot be asked.
    virtual DocumentsEnd finishDocuments(const DocumentsWait &wait)
    {
        Q_UNUSED(wait);
        return {};
    }
    // After endRun: how many of the run's documents were kept (the PDF
    // file's); nothing when every one that came out stays.
    virtual std::optional<int> documentsKept() const { return std::nullopt; }
    // What the operator must know before the first label goes to this
    // printer (a queue that passes the document on unchanged); empty when
    // nothing.
    virtual QString printingNotice() const { return {}; }
    // Told by the installed printers when this printer takes the runs
    // because no other can be reached; an empty one once it is chosen. A
    // printer that stands in says so before the first label
    // (printingNotice) and with where the labels went (endRun).
    virtual void setStandIn(const StandIn &standIn) { Q_UNUSED(standIn); }
    // Read where nothing waits (the windows' thread): true while what the
    // printer offers is still being asked on a worker; its reads meanwhile
    // answer as for a printer that lists no paper.
    virtual bool stillAsking() const { return false; }
    // Why what the printer offers is not known (the printing system did
    // not answer), in the operator's words; empty when it is known.
    virtual QString unansweredProblem() const { return {}; }
};

// Whether reads of printers may wait for the printing system. On the
// application's main thread, the windows' thread, they never do: printers and
// the collection answer from what they already know, what they have not heard
// yet is asked on a worker, and PrinterInForceNews tells when it has come, so
// a screen shows what is known now and again once the answer is in. Other
// threads (a run's own) wait, since they need the answer.
//
// WithoutWaiting makes reads on any thread answer without waiting while one
// lives there (a test reading as the windows do, a worker that must not
// block).
class WithoutWaiting {
public:
    WithoutWaiting();
    ~WithoutWaiting();
    WithoutWaiting(const WithoutWaiting &) = delete;
    WithoutWaiting &operator=(const WithoutWaiting &) = delete;
    // Whether reads on this thread may wait for the printing system.
    static bool mayWait();

private:
    friend class WaitingAllowed;
    const WithoutWaiting *m_outer;
    bool m_waits = false;
    int m_loopLevel = 0;
};

// The deliberate exceptions on the windows' thread, where reads wait for
// the answers while one lives: a run prepared there (the printer and paper
// it takes, before it goes to a thread of its own) and the command line,
// which has no windows, read the printer as the run will; a choice confirmed
// in the printer setup is applied with the chosen queue's answer (Qt's
// dialog has just heard from the printing system itself). A printing system
// known to be silent is not asked again for a while, so none of these waits
// on it twice. Events the windows handle meanwhile in a nested event loop (a
// dialog, the progress window) are the windows' own and still never wait.
class WaitingAllowed : private WithoutWaiting {
public:
    WaitingAllowed();
};

// The operator's cancel of a run, as waits for the printing system on the
// run's thread see it. While one is in force on a thread, a wait there for
// the printing system is given up as soon as the cancel is asked for (the
// printer throws zl::Cancelled), so a slow or frozen scheduler never holds
// a cancel up. The waits that carry a cancel out (taking back the run's
// labels) are never given up.
class RunCancelWatch {
public:
    explicit RunCancelWatch(std::function<bool()> asked);
    ~RunCancelWatch();
    RunCancelWatch(const RunCancelWatch &) = delete;
    RunCancelWatch &operator=(const RunCancelWatch &) = delete;
    // Whether a run on this thread watches for a cancel at all, and has
    // been cancelled.
    static bool watching();
    static bool asked();
    // The cancel of the run on this thread, to be asked from another
    // thread while the run lasts; never true when none watches.
    static std::function<bool()> current();

private:
    std::function<bool()> m_asked;
    const std::function<bool()> *m_outer;
};

// The installed printers in the platform's order, and which one is current.
class PrinterCollection {
public:
    virtual ~PrinterCollection() = default;
    virtual QList<Printer *> printers() const = 0;
    virtual Printer *current() const = 0;
    virtual void setCurrent(Printer *printer) = 0;
    // Why the list may be incomplete right now (the printing system did not
    // answer in time), for messages; empty when it is complete.
    virtual QString problem() const { return {}; }
    // Why the current printer may not be the one the operator set up: the
    // printing system did not answer when asked for its default. Empty when
    // it is the one, or was chosen in the program.
    virtual QString currentProblem() const { return {}; }
    // The program's own printer, found without asking the printing system
    // (which may not answer); null when there is none.
    virtual Printer *builtIn() const { return nullptr; }
    // Read on the windows' thread: true while the printing system has not
    // yet told its queues and its default, so no printer is current yet
    // (current() is null); PrinterInForceNews tells when it has.
    virtual bool stillAsking() const { return false; }
};

// The process-wide collection. Until one is installed there is none (null).
PrinterCollection *printers();
void installPrinters(std::unique_ptr<PrinterCollection> collection);
// The collection's current printer.
Printer *currentPrinter();

// A collection over printers it owns; the first is current unless told.
class OwnedPrinterCollection : public PrinterCollection {
public:
    explicit OwnedPrinterCollection(std::vector<std::unique_ptr<Printer>> printers, int currentIndex = 0);
    QList<Printer *> printers() const override;
    Printer *current() const override { return m_current; }
    void setCurrent(Printer *printer) override { m_current = printer; }

private:
    std::vector<std::unique_ptr<Printer>> m_owned;
    Printer *m_current = nullptr;
};

} // namespace zl::printer
