#pragma once
// A CUPS queue as the program's printer. The queue is asked what it offers
// (its PPD when it has one, its IPP attributes otherwise) through a
// connection with a time limit, once, and the answer kept for every thread;
// read on the windows' thread, where nothing waits, it is asked on a worker.
// The settings the operator chooses are kept here and sent with each
// document as job options, so what prints is what was chosen, at the
// resolution the queue's driver will rasterise at.
#include "printer/Printer.h"
#include "cups/platform/CupsRunDocument.h"

#include <QElapsedTimer>
#include <QHash>
#include <QMarginsF>
#include <QStringList>
#include <memory>
#include <optional>

namespace zl::printer {

class CupsConnection;
enum class OnRunCancel;

// How long a run waits for a printer that prints nothing, or a job held
// at the queue, before it takes back the labels still queued.
constexpr int kJobsStallSeconds = 60;
// How long a run waits for a print system that stopped answering (a
// restart, a hang) before it says what it knows of its labels.
constexpr int kSchedulerWaitSeconds = 60;

class CupsPrinter : public Printer {
public:
    explicit CupsPrinter(QString queueName);
    ~CupsPrinter() override;

    QString deviceName() const override { return m_name; }
    QString driverName() const override;
    QString port() const override;

    std::optional<int> paperSize() const override;
    bool setPaperSize(int code) override;
    std::optional<int> pageWidthTwips() const override;
    std::optional<int> pageHeightTwips() const override;
    bool setPageWidthTwips(int twips) override;
    bool setPageHeightTwips(int twips) override;
    std::optional<int> paperBin() const override { return m_settings.bin; }
    bool setPaperBin(int bin) override;
    std::optional<int> printQuality() const override;
    bool setPrintQuality(int quality) override;
    std::optional<int> colorMode() const override;
    bool setColorMode(int mode) override;
    std::optional<int> duplex() const override;
    bool setDuplex(int duplex) override;
    std::optional<int> orientation() const override { return m_settings.orientation; }
    bool setOrientation(int orientation) override;
    std::optional<int> zoom() const override { return m_settings.zoom; }
    bool setZoom(int percent) override;
    QStringList driverOptions() const override { return m_settings.driverOptions; }
    bool setDriverOptions(const QStringList &options) override;

    RunPrinterMaker runPrinterMaker() const override;
    QList<PaperInfo> papers() const override;
    PageGeometry pageGeometry() const override;
    PageGeometry pageGeometryFor(int code) const override;
    bool setLabelLength(double mm) override;
    void printDocument(const QList<QPicture> &pages) override;
    void printPlaced(const PaperPage &placed) override;
    void beginRun() override;
    QString endRun(bool ok) override;
    DocumentsEnd finishDocuments(const DocumentsWait &wait) override;
    bool makeUserDefault() override;
    QString printingNotice() const override;
    bool stillAsking() const override;
    QString unansweredProblem() const override;

    // The job options a document is sent with (name, value), in order.
    QList<std::pair<QString, QString>> jobOptions() const;
    // The paper code of one of the queue's sizes by its keyword, 0 if none.
    int paperCodeForMedia(const QString &name) const;
    // Forgets what the queue said, so the next question asks it again.
    void forgetQueue();

    // One size as a queue offers it.
    struct QueueSize {
        QString name;  // the queue's keyword (PPD) or PWG name, sent as `media`
        QString text;  // what the queue calls it for people
        QSizeF points; // width, height
        QRectF printablePoints; // from the paper's top-left corner
        // A continuous roll: points' height is only the length the driver
        // would cut it at, and the page is sent as a custom size of the
        // roll's width, with the margins in printablePoints.
        bool roll = false;
        // A size the queue's default or the user's saved choice gives by
        // its dimensions ("Custom.40x30mm"), not one the queue lists: sent
        // as it was written, as lp sends it.
        bool custom = false;
    };
    // The size of a name CUPS reads as dimensions ("Custom.40x30mm",
    // "Custom.2x1in", "Custom.144x72" in points), in points; empty when
    // the name is not one. `text` gets it for people ("40 x 30 mm").
    static QSizeF customSizeNamed(const QString &name, QString *text = nullptr);
    // The queue's sizes numbered by their names: Windows numbers where the
    // name is a standard size, 257 upward in the queue's order otherwise.
    static QList<PaperInfo> numberPapers(const QList<QueueSize> &sizes);

    // What the queue says about itself.
    struct QueueFacts {
        bool answered = false;
        bool asking = false; // not known yet: a worker is asking
        QString problem;     // why it did not answer, when it did not
        bool hasPpd = false;
        QList<QueueSize> sizes;
        QList<PaperInfo> papers; // same positions as sizes
        bool customSizes = false;
        // The smallest and largest custom size, and the margins the driver
        // keeps on every custom size (PPD *HWMargins, the IPP custom range's
        // media-*-margin), in points.
        QSizeF customMin, customMax;
        QMarginsF customMargins;
        bool rasterFromPrintable = false; // a CUPS raster driver's dots start at the printable corner
        QList<int> resolutions;
        // The PPD's own name of each resolution, sent as it is ("300x300dpi").
        QHash<int, QString> resolutionChoices;
        int defaultResolution = 0; // the user's saved choice, else the queue's default
        int defaultPaper = 0;      // likewise
        bool colorDefault = false;
        int duplexDefault = 1;
        QString driver;
        QString port;
        // The user's saved options for this queue (lpoptions), sent with
        // every job unless the operator chose otherwise.
        QList<std::pair<QString, QString>> savedOptions;
    };

private:
    class FactsCache;
    std::shared_ptr<const QueueFacts> facts() const;
    // Asks the scheduler on this thread, however long it takes to answer;
    // evenWhenSilent: also when it has just failed to answer in time.
    static std::shared_ptr<const QueueFacts> askQueue(const QString &queue, bool evenWhenSilent);
    static QSizeF labelStockPoints();
    static const QueueSize *rollOf(const QueueFacts &f, int code);
    static const QueueSize *sizeOf(const QueueFacts &f, int code);
    // The roll paper `code` is cut from: a roll itself, or, for the
    // user-defined size, the queue's default stock when that is a roll.
    static const QueueSize *rollFor(const QueueFacts &f, int code);
    int codeInForce(const QueueFacts &f) const;
    std::optional<int> qualityFor(const QueueFacts &f) const;
    QSizeF pointsFor(const QueueFacts &f, int code) const;
    // The page size a job on paper `code` is sent with.
    QSizeF sentPointsFor(const QueueFacts &f, int code) const;
    QRectF printableFor(const QueueFacts &f, int code) const;
    PageGeometry geometryFor(const QueueFacts &f, int code) const;
    // The same for the paper in force.
    const QueueSize *currentSize() const;
    const QueueSize *rollInForce() const;
    QSizeF currentPoints() const;
    QRectF printablePoints() const;
    QSizeF sentPoints() const;
    // The same, turned as the PDF's pages are for the orientation in force.
    QSizeF sentPointsAsSent() const
    {
        QSizeF sent = sentPoints();
        if (m_settings.orientation == 2)
            sent.transpose();
        return sent;
    }
    void print(const QList<PaperPage> &pages);
    QByteArray renderPdf(const QList<PaperPage> &pages) const;
    // Throws when the queue is gone or stopped, or refuses jobs.
    void checkQueue(CupsConnection &connection);
    // The run's one connection to the scheduler, opened on first use and
    // anew when the one kept was closed, cut short or ran out of time.
    CupsConnection &runConnection(OnRunCancel onCancel);
    // What sending a job came to: its number, or none, and then whether the
    // scheduler may have made it all the same (its answer was lost).
    struct Sent {
        int id = 0;
        bool maybeMade = false;
    };
    // Print-Job: the job and its document in one request, so that no job
    // is ever left without its document. Throws when the scheduler refused.
    Sent sendJob(CupsConnection &connection, const QByteArray &pdf, const QByteArray &jobName);
    // The run's job looked up by its name after the answer to sending it
    // was lost: its number, 0 when the scheduler never made it, nothing
    // when the scheduler did not answer.
    std::optional<int> findSentJob(CupsConnection &connection);
    // Cancel-Job for the run's job; false when the scheduler did not answer.
    bool cancelRunJob(CupsConnection &connection);
    // The run's job followed to its end (finishDocuments).
    class JobFollow;

    QString m_name;
    // Shared with a worker still asking, which may outlive this printer.
    std::shared_ptr<FactsCache> m_facts;
    // What the operator set, as one value: a run's printer takes it whole.
    struct Settings {
        std::optional<int> paper;
        int customWidthTwips = 0;
        int customHeightTwips = 0;
        int bin = 7; // DMBIN_AUTO: the queue picks the source
        std::optional<int> quality;
        std::optional<int> color;
        std::optional<int> duplex;
        int orientation = 1; // DMORIENT_PORTRAIT
        int zoom = 100;
        QStringList driverOptions;
    };
    Settings m_settings;
    // The run's own state, from here on; never copied.
    double m_labelLengthPt = 0; // on a roll; 0 until a label's length is set
    // The run's documents as pages of its one job, in the order drawn.
    std::unique_ptr<CupsRunDocument> m_runDocument;
    QList<int> m_pagesPerDocument;
    int m_jobId = 0;
    QByteArray m_jobName; // unique to the run: how its job is found again
    bool m_inRun = false;
    std::unique_ptr<CupsConnection> m_link; // the run's connection
};

} // namespace zl::printer
