#include "cups/platform/CupsPrinter.h"

#include "printer/PagePlayback.h"
#include "cups/platform/CupsConnection.h"
#include "cups/platform/CupsRequests.h"

#include "common/Failure.h"
#include "common/Length.h"

#include <QBuffer>
#include <QPainter>
#include <QPdfWriter>
#include <cups/cups.h>
#include <utility>

namespace zl::printer {

namespace {
// Qt writes a page's size in whole points. CUPS fits a page larger than
// the paper onto it, so 50 x 30 mm (141.73 x 85.04 pt) written as 142 x 85
// is shrunk and no bar stays on the dot grid. The exact size is put in its
// place, padded to the same length so the file's offsets stay right.
void exactMediaBox(QByteArray &pdf, QSizeF points)
{
    const QByteArray key = "/MediaBox [";
    for (int at = pdf.indexOf(key); at >= 0; at = pdf.indexOf(key, at + key.size())) {
        const int start = at + int(key.size());
        const int end = pdf.indexOf(']', start);
        if (end < 0)
            return;
        QByteArray box = "0 0 " + QByteArray::number(points.width(), 'f', 4) + ' '
            + QByteArray::number(points.height(), 'f', 4);
        if (box.size() > end - start)
            continue;
        pdf.replace(start, end - start, box.leftJustified(end - start, ' '));
    }
}

constexpr int kJobsCheckedEvery = 16; // labels between two looks at the run's jobs

} // namespace

QByteArray CupsPrinter::renderPdf(const QList<QPicture> &pages) const
{
    const PageGeometry g = pageGeometry();
    QByteArray pdf;
    QBuffer buffer(&pdf);
    buffer.open(QIODevice::WriteOnly);
    QPdfWriter writer(&buffer);
    writer.setCreator(QStringLiteral("Zenlabo"));
    writer.setResolution(g.dpi);
    writer.setPageLayout(QPageLayout(QPageSize(g.paperMm, QPageSize::Millimeter, QString(), QPageSize::ExactMatch),
                                     QPageLayout::Portrait, QMarginsF(), QPageLayout::Millimeter));
    QPainter painter;
    if (!painter.begin(&writer))
        throw Failure(QStringLiteral("プリンター「%1」の印刷データを作れません。").arg(m_name));
    const double unitsPerMm = Length::dotsPerMm(writer.resolution()) * (m_zoom / 100.0);
    for (int i = 0; i < pages.size(); ++i) {
        if (i > 0)
            writer.newPage();
        // The page is the whole paper, rasterised from its corner; the
        // label starts at the printable area.
        playPage(painter, pages[i], g.printableMm.topLeft() * (100.0 / m_zoom), unitsPerMm);
    }
    painter.end();
    QSizeF sent = sentPoints();
    if (m_orientation == 2)
        sent.transpose();
    exactMediaBox(pdf, sent);
    return pdf;
}

CupsPrinter::~CupsPrinter() = default;

void CupsPrinter::beginRun()
{
    m_runJobs.clear();
    m_jobsProblem.clear();
    m_link.reset();
    m_inRun = true;
    m_subscribeAsked = false;
    m_lastNews.start();
}

QString CupsPrinter::endRun(bool ok)
{
    Q_UNUSED(ok);
    // Only on a connection that still answers: a run cut short at a
    // scheduler that stopped answering ends at once, and its subscription
    // lapses on its own.
    if (m_events.subscribed() && m_link && m_link->http() && !m_link->abandoned() && !m_link->timedOut())
        m_events.unsubscribe(*m_link);
    m_link.reset();
    m_inRun = false;
    return {};
}

CupsConnection &CupsPrinter::runConnection(OnRunCancel onCancel)
{
    // Opened anew where the scheduler closed it (a question on it would
    // only fail), and after a cancel or a time-out cut it off.
    if (m_link && (m_link->abandoned() || m_link->timedOut() || m_link->closedByScheduler()))
        m_link.reset();
    // Its first question is the caller's own request, under the time limit.
    if (!m_link)
        m_link = std::make_unique<CupsConnection>(false, onCancel);
    return *m_link;
}

void CupsPrinter::printDocument(const QList<QPicture> &pages)
{
    if (pages.isEmpty())
        return;
    const QByteArray pdf = renderPdf(pages);

    // A run's labels all go over one connection; a label sent outside a run
    // has one of its own.
    std::unique_ptr<CupsConnection> own;
    if (!m_inRun)
        own = std::make_unique<CupsConnection>(false);
    CupsConnection &c = own ? *own : runConnection(OnRunCancel::GiveUp);
    if (!c.http())
        throw Failure(jobFailure(m_name, QStringLiteral("に印刷できません"), c));
    // Nothing is sent to a queue that will not print it; a run's jobs are
    // looked at every few labels, so that a printer that fails stops the
    // sending soon without a question to the scheduler for every label.
    if (m_runJobs.size() % kJobsCheckedEvery == 0) {
        checkQueue(c);
        // Before the run's first job, so that no job's end goes untold.
        if (m_inRun && !std::exchange(m_subscribeAsked, true) && !m_events.subscribe(c))
            c.throwIfAbandoned();
        updateJobs(c);
        if (!m_jobsProblem.isEmpty())
            throw Failure(m_jobsProblem);
    }

    cups_option_t *options = nullptr;
    int count = 0;
    for (const auto &[key, value] : jobOptions())
        count = cupsAddOption(key.toUtf8().constData(), value.toUtf8().constData(), count, &options);
    // Submitted straight to the scheduler, as lp does: a queue that is not
    // there is refused by name, never swapped for another.
    const QByteArray queue = m_name.toUtf8();
    // A Create-Job the cancel cuts short leaves at most a job without a
    // document, which the scheduler never prints.
    const int job = cupsCreateJob(c.http(), queue.constData(), "Zenlabo", count, options);
    cupsFreeOptions(count, options);
    if (job <= 0)
        throw Failure(jobFailure(m_name, QStringLiteral("で印刷を始められません"), c));
    // Once the job has its number, a cancel that cuts the sending short
    // leaves it to the run, counted as sent: the run's cancel takes it back,
    // and should it have printed all the same, it is counted as printed.
    auto leftToTheRunsCancel = [&] {
        if (!c.abandoned())
            return false;
        m_runJobs.append(RunJob{job});
        return true;
    };
    if (cupsStartDocument(c.http(), queue.constData(), job, "label", CUPS_FORMAT_PDF, 1) != HTTP_STATUS_CONTINUE
        || cupsWriteRequestData(c.http(), pdf.constData(), size_t(pdf.size())) != HTTP_STATUS_CONTINUE) {
        if (leftToTheRunsCancel())
            return;
        const Failure f(jobFailure(m_name, QStringLiteral("に印刷データを送れませんでした"), c));
        if (!c.timedOut()) {
            cupsFinishDocument(c.http(), queue.constData());
            cupsCancelJob2(c.http(), queue.constData(), job, 0);
        }
        throw f;
    }
    if (cupsFinishDocument(c.http(), queue.constData()) != IPP_STATUS_OK) {
        if (leftToTheRunsCancel())
            return;
        throw Failure(jobFailure(m_name, QStringLiteral("に印刷データを送れませんでした"), c));
    }
    cupsAnswered();
    m_runJobs.append(RunJob{job});
}

} // namespace zl::printer
