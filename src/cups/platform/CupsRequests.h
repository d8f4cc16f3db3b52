#pragma once
// Small pieces every question to the scheduler uses: the words of its
// answers, the request that asks about one queue, and how a failed
// question is told to the operator.
#include <QStringList>
#include <cups/cups.h>

namespace zl::printer {

class CupsConnection;

// The dots an inch a resolution's name gives: "203dpi", "300x300dpi" (the
// first number is across the paper); 0 for a name without a number.
int dpiOf(const QString &text);

// libcups' UTF-8 text, or empty for none.
QString utf8Text(const char *value);

// A keyword attribute's values (printer-state-reasons, job-state-reasons).
QStringList keywordsOf(ipp_attribute_t *a);

// A printer's or a job's reasons (printer-state-reasons, job-state-reasons)
// in the words of the shop floor; keywords without such words are left out.
QString reasonsInWords(const QStringList &keywords);

// Get-Printer-Attributes for one queue, as this user.
ipp_t *printerAttributesRequest(const QString &queue);
// Any operation on one queue, as this user.
ipp_t *queueRequest(ipp_op_t operation, const QString &queue);

// True when the scheduler answered a question with success.
inline bool answeredOk(ipp_t *response)
{
    return response && ippGetStatusCode(response) <= IPP_STATUS_OK_EVENTS_COMPLETE;
}

// What a question about a queue that went wrong means to the operator.
// A question the run's cancel cut short is no failure: Cancelled is thrown instead.
QString jobFailure(const QString &queue, const QString &what, CupsConnection &c);

} // namespace zl::printer
