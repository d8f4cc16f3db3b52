#include "cups/platform/CupsRequests.h"

#include "cups/platform/CupsConnection.h"

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
    return queueRequest(IPP_OP_GET_PRINTER_ATTRIBUTES, queue);
}

ipp_t *queueRequest(ipp_op_t operation, const QString &queue)
{
    char uri[HTTP_MAX_URI];
    httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", ippPort(), "/printers/%s",
                     queue.toUtf8().constData());
    ipp_t *request = ippNewRequest(operation);
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

QString reasonsInWords(const QStringList &keywords)
{
    static const struct {
        const char *keyword;
        const char *words;
    } known[] = {
        {"media-empty", "用紙切れ"},
        {"media-needed", "用紙切れ"},
        {"media-jam", "紙詰まり"},
        {"media-low", "用紙残りわずか"},
        {"offline", "プリンターがオフライン"},
        {"shutdown", "プリンターの電源が切れています"},
        {"timed-out", "プリンターが応答しません"},
        {"connecting-to-device", "プリンターに接続できません"},
        {"paused", "プリンターが一時停止中"},
        {"door-open", "カバーが開いています"},
        {"cover-open", "カバーが開いています"},
        {"marker-supply-empty", "リボン・インク切れ"},
        {"toner-empty", "トナー切れ"},
        {"printer-stopped", "プリンターが停止しています"},
        {"job-canceled-by-user", "利用者が取り消しました"},
        {"job-canceled-by-operator", "管理者が取り消しました"},
        {"job-canceled-at-device", "プリンターが取り消しました"},
        {"aborted-by-system", "印刷システムが中止しました"},
        {"document-format-error", "プリンターが印刷データを扱えません"},
        {"document-unprintable-error", "プリンターが印刷データを扱えません"},
        {"job-data-insufficient", "印刷データが届いていません"},
        {"job-hold-until-specified", "ジョブが保留されています"},
        {"printer-stopped-partly", "プリンターの一部が止まっています"},
        {"input-tray-missing", "用紙トレイがありません"},
        {"output-area-full", "排紙口がいっぱいです"},
        {"cutter-failure", "カッターの故障"},
    };
    QStringList words;
    for (QString k : keywords) {
        for (const char *suffix : {"-error", "-warning", "-report"})
            if (k.endsWith(QLatin1String(suffix)))
                k.chop(int(qstrlen(suffix)));
        if (k.isEmpty() || k == QLatin1String("none") || k.startsWith(QLatin1String("job-incoming"))
            || k.startsWith(QLatin1String("job-printing")) || k.startsWith(QLatin1String("job-completed"))
            || k == QLatin1String("processing-to-stop-point") || k == QLatin1String("job-queued"))
            continue;
        // A keyword without words of its own is left to the print
        // system's message, which says it for people.
        for (const auto &entry : known)
            if (k == QLatin1String(entry.keyword) && !words.contains(QString::fromUtf8(entry.words)))
                words << QString::fromUtf8(entry.words);
    }
    return words.join(QStringLiteral("、"));
}

} // namespace zl::printer

