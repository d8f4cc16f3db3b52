#include "printer/platform/CupsRequests.h"

#include "printer/platform/CupsConnection.h"

namespace zl::printer {

int dpiOf(const QString &text)
{
    int i = 0;
    while (i < text.size() && text.at(i).isDigit())
        ++i;
    return text.left(i).toInt();
}

QString utf8Text(const char *value)
{
    return value ? QString::fromUtf8(value) : QString();
}

QString jobFailure(const QString &queue, const QString &what, CupsConnection &c)
{
    c.throwIfAbandoned();
    if (c.timedOut() || !c.http())
        return QStringLiteral("プリンター「%1」%2。%3").arg(queue, what, c.problem());
    return QStringLiteral("プリンター「%1」%2（%3）。プリンターが削除されていないか、CUPSの状態を確認してください。")
        .arg(queue, what, QString::fromUtf8(cupsLastErrorString()));
}

ipp_t *printerAttributesRequest(const QString &queue)
{
    char uri[HTTP_MAX_URI];
    httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", ippPort(), "/printers/%s",
                     queue.toUtf8().constData());
    ipp_t *request = ippNewRequest(IPP_OP_GET_PRINTER_ATTRIBUTES);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
    return request;
}

QStringList keywordsOf(ipp_attribute_t *a)
{
    QStringList list;
    for (int i = 0; a && i < ippGetCount(a); ++i)
        list << QString::fromUtf8(ippGetString(a, i, nullptr));
    return list;
}

} // namespace zl::printer
