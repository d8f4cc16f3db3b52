#include "cups/platform/PrinterJobReport.h"

#include "cups/platform/CupsRequests.h"

#include <algorithm>
#include <cups/cups.h>

namespace zl::printer {

QString reportingPrinter(const QString &deviceUri)
{
    char scheme[32], user[256], host[256], resource[1024];
    int port = 0;
    if (httpSeparateURI(HTTP_URI_CODING_ALL, deviceUri.toUtf8().constData(), scheme, sizeof scheme, user, sizeof user, host,
                        sizeof host, &port, resource, sizeof resource)
        < HTTP_URI_STATUS_OK)
        return {};
    const QByteArray kind(scheme);
    const QByteArray path(resource);
    if ((kind != "ipp" && kind != "ipps") || path.startsWith("/printers/") || path.startsWith("/classes/"))
        return {};
    return deviceUri;
}

PrinterNews askPrinter(const QString &uri, const QByteArray &jobName, int allPages)
{
    PrinterNews n;
    char scheme[32], user[256], host[256], resource[1024];
    int port = 0;
    if (httpSeparateURI(HTTP_URI_CODING_ALL, uri.toUtf8().constData(), scheme, sizeof scheme, user, sizeof user, host,
                        sizeof host, &port, resource, sizeof resource)
        < HTTP_URI_STATUS_OK)
        return n;
    // A printer that does not answer at once is asked again later: the
    // run's own questions and its cancel are not held up for it.
    constexpr int kPrinterWaitMs = 2000;
    http_t *http = httpConnect2(host, port, nullptr, AF_UNSPEC,
                                qstrcmp(scheme, "ipps") == 0 ? HTTP_ENCRYPTION_ALWAYS : HTTP_ENCRYPTION_IF_REQUESTED, 1,
                                kPrinterWaitMs, nullptr);
    if (!http)
        return n;
    httpSetTimeout(http, kPrinterWaitMs / 1000.0, nullptr, nullptr);
    ipp_t *request = ippNewRequest(IPP_OP_GET_JOBS);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri.toUtf8().constData());
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "which-jobs", nullptr, "all");
    static const char *const wanted[] = {"job-id", "job-name", "job-state", "job-impressions-completed"};
    ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", 4, nullptr, wanted);
    ipp_t *response = cupsDoRequest(http, request, resource);
    httpClose(http);
    if (!answeredOk(response)) {
        ippDelete(response);
        return n;
    }
    n.answered = true;
    QList<int> pagesOfEach;
    bool ours = false, completed = false;
    int pages = 0;
    auto endOfJob = [&] {
        if (ours) {
            pagesOfEach << (completed ? allPages : pages);
            n.completed = n.completed || completed;
        }
        ours = completed = false;
        pages = 0;
    };
    for (ipp_attribute_t *a = ippFirstAttribute(response); a; a = ippNextAttribute(response)) {
        const char *name = ippGetName(a);
        if (!name) {
            endOfJob();
            continue;
        }
        if (qstrcmp(name, "job-name") == 0)
            ours = jobName == ippGetString(a, 0, nullptr);
        else if (qstrcmp(name, "job-state") == 0)
            completed = ippGetInteger(a, 0) == IPP_JSTATE_COMPLETED;
        else if (qstrcmp(name, "job-impressions-completed") == 0)
            pages = ippGetInteger(a, 0);
    }
    endOfJob();
    ippDelete(response);
    std::sort(pagesOfEach.begin(), pagesOfEach.end());
    n.pages = pagesOfEach.value(pagesOfEach.size() - 1);
    n.pagesBefore = pagesOfEach.value(pagesOfEach.size() - 2);
    return n;
}

} // namespace zl::printer
