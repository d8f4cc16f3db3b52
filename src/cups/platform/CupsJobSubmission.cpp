#include "cups/platform/CupsPrinter.h"

#include "cups/platform/CupsConnection.h"
#include "cups/platform/CupsRequests.h"

#include "common/Failure.h"

#include <QUuid>
#include <cups/cups.h>
#include <utility>

namespace zl::printer {

QByteArray CupsPrinter::renderPdf(const QList<PaperPage> &pages) const
{
    CupsRunDocument document(pageGeometry(), m_settings.zoom, sentPointsAsSent());
    if (!document.add(pages))
        throw Failure(QStringLiteral("プリンター「%1」の印刷データを作れません。").arg(m_name));
    return document.finish();
}

CupsPrinter::~CupsPrinter() = default;

void CupsPrinter::beginRun()
{
    m_runDocument.reset();
    m_pagesPerDocument.clear();
    m_jobId = 0;
    m_jobName = "Zenlabo-" + QUuid::createUuid().toByteArray(QUuid::Id128).left(12);
    m_link.reset();
    m_inRun = true;
}

QString CupsPrinter::endRun(bool ok)
{
    Q_UNUSED(ok);
    m_runDocument.reset();
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
    print(paperPages(pages));
}

void CupsPrinter::printPlaced(const PaperPage &placed)
{
    print({placed});
}

void CupsPrinter::print(const QList<PaperPage> &pages)
{
    if (pages.isEmpty())
        return;
    if (m_inRun) {
        // Nothing is drawn for a queue that will not print it.
        if (!m_runDocument) {
            CupsConnection &c = runConnection(OnRunCancel::GiveUp);
            if (!c.http())
                throw Failure(jobFailure(m_name, QStringLiteral("に印刷できません"), c));
            checkQueue(c);
            m_runDocument = std::make_unique<CupsRunDocument>(pageGeometry(), m_settings.zoom, sentPointsAsSent());
        }
        if (!m_runDocument->add(pages))
            throw Failure(QStringLiteral("プリンター「%1」の印刷データを作れません。").arg(m_name));
        m_pagesPerDocument.append(int(pages.size()));
        return;
    }
    // A label outside a run is a job of its own.
    const QByteArray pdf = renderPdf(pages);
    CupsConnection c(false);
    if (!c.http())
        throw Failure(jobFailure(m_name, QStringLiteral("に印刷できません"), c));
    checkQueue(c);
    if (!sendJob(c, pdf, "Zenlabo").id)
        throw Failure(jobFailure(m_name, QStringLiteral("に印刷データを送れませんでした"), c));
}

CupsPrinter::Sent CupsPrinter::sendJob(CupsConnection &c, const QByteArray &pdf, const QByteArray &jobName)
{
    ipp_t *request = queueRequest(IPP_OP_PRINT_JOB, m_name);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "job-name", nullptr, jobName.constData());
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_MIMETYPE, "document-format", nullptr, CUPS_FORMAT_PDF);
    cups_option_t *options = nullptr;
    int count = 0;
    for (const auto &[key, value] : jobOptions())
        count = cupsAddOption(key.toUtf8().constData(), value.toUtf8().constData(), count, &options);
    // Labels come out in the data's order, even where the printer says its
    // output lands face up (CUPS would turn the pages' order round).
    count = cupsAddOption("outputorder", "normal", count, &options);
    cupsEncodeOptions2(request, count, options, IPP_TAG_OPERATION);
    cupsEncodeOptions2(request, count, options, IPP_TAG_JOB);
    cupsFreeOptions(count, options);
    // Submitted straight to the scheduler, as lp does: a queue that is not
    // there is refused by name, never swapped for another.
    const QByteArray resource = "/printers/" + m_name.toUtf8();
    Sent sent;
    http_t *http = c.http();
    if (!http)
        return sent;
    // The scheduler makes the job only once the whole document has come:
    // one cut short by a cancel or a lost connection leaves nothing behind.
    // The length is the whole body's, the request's attributes included.
    const size_t length = ippLength(request) + size_t(pdf.size());
    if (cupsSendRequest(http, request, resource.constData(), length) != HTTP_STATUS_CONTINUE
        || cupsWriteRequestData(http, pdf.constData(), size_t(pdf.size())) != HTTP_STATUS_CONTINUE) {
        ippDelete(request);
        return sent;
    }
    ippDelete(request);
    // From here on the scheduler may have made the job even when its
    // answer does not come.
    sent.maybeMade = true;
    ipp_t *response = cupsGetResponse(http, resource.constData());
    if (!response)
        return sent;
    const ipp_status_t status = ippGetStatusCode(response);
    ipp_attribute_t *id = ippFindAttribute(response, "job-id", IPP_TAG_INTEGER);
    sent.id = status <= IPP_STATUS_OK_EVENTS_COMPLETE && id ? ippGetInteger(id, 0) : 0;
    ippDelete(response);
    cupsAnswered();
    if (!sent.id)
        throw Failure(jobFailure(m_name, QStringLiteral("で印刷を始められません"), c));
    return sent;
}

} // namespace zl::printer
