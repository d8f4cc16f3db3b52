#include "DeviceOutput.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QThread>
#include <cups/cups.h>

namespace zltest {

QImage decodeZplGraphic(const QByteArray &job)
{
    // ~DGname,total bytes,bytes per row,data — the data is hex, two digits a
    // byte, with ZPL's compression: G..Y repeat the next digit 1..19 times,
    // g..z add 20..400, ',' fills the row with 0, '!' with F, ':' repeats
    // the row before.
    static const QRegularExpression header(QStringLiteral("~DG[^,]*,(\\d+),(\\d+),"));
    const QString text = QString::fromLatin1(job);
    const QRegularExpressionMatch m = header.match(text);
    if (!m.hasMatch())
        return {};
    const int total = m.captured(1).toInt();
    const int bytesPerRow = m.captured(2).toInt();
    if (bytesPerRow <= 0 || total % bytesPerRow)
        return {};
    const int end = text.indexOf(QStringLiteral("^XA"), m.capturedEnd());
    const QStringView body = QStringView(text).mid(m.capturedEnd(), end < 0 ? -1 : end - m.capturedEnd());
    const int digitsPerRow = bytesPerRow * 2;
    QList<QByteArray> rows;
    QByteArray row, previous(digitsPerRow, '0');
    int repeat = 0;
    for (const QChar qc : body) {
        const char c = char(qc.unicode());
        if (c == '\r' || c == '\n' || c == ' ')
            continue;
        if (c == ':') {
            rows << previous;
            continue;
        }
        if (c >= 'G' && c <= 'Y') {
            repeat += c - 'F';
            continue;
        }
        if (c >= 'g' && c <= 'z') {
            repeat += (c - 'f') * 20;
            continue;
        }
        if (c == ',' || c == '!')
            row.append(digitsPerRow - row.size(), c == ',' ? '0' : 'F');
        else
            row.append(repeat ? repeat : 1, c);
        repeat = 0;
        if (row.size() >= digitsPerRow) {
            row.truncate(digitsPerRow);
            rows << row;
            previous = row;
            row.clear();
        }
    }
    if (rows.size() != total / bytesPerRow)
        return {};
    QImage image(bytesPerRow * 8, int(rows.size()), QImage::Format_Grayscale8);
    for (int y = 0; y < rows.size(); ++y) {
        const QByteArray bytes = QByteArray::fromHex(rows[y]);
        uchar *line = image.scanLine(y);
        for (int x = 0; x < image.width(); ++x)
            line[x] = (uchar(bytes[x / 8]) & (0x80 >> (x % 8))) ? 0 : 255;
    }
    return image;
}

QList<int> runsAlong(const QImage &image, int row)
{
    QList<int> runs;
    if (row < 0 || row >= image.height())
        return runs;
    auto dark = [&](int x) { return qGray(image.pixel(x, row)) < 128; };
    int first = 0, last = image.width() - 1;
    while (first <= last && !dark(first))
        ++first;
    while (last >= first && !dark(last))
        --last;
    for (int x = first; x <= last;) {
        const bool d = dark(x);
        int run = 0;
        while (x <= last && dark(x) == d) {
            ++run;
            ++x;
        }
        runs << run;
    }
    return runs;
}

int barRow(const QImage &image)
{
    int best = -1, most = 0;
    for (int y = 0; y < image.height(); ++y) {
        const int n = int(runsAlong(image, y).size());
        if (n > most) {
            most = n;
            best = y;
        }
    }
    return best;
}

QStringList jobFiles(const QString &folder)
{
    QStringList jobs = QDir(folder).entryList({QStringLiteral("job-*.prn")}, QDir::Files);
    std::sort(jobs.begin(), jobs.end(), [](const QString &a, const QString &b) {
        return a.mid(4).chopped(4).toInt() < b.mid(4).chopped(4).toInt();
    });
    for (QString &j : jobs)
        j = folder + QLatin1Char('/') + j;
    return jobs;
}

QStringList waitForJobs(const QString &folder, int before, int count, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (jobFiles(folder).size() < before + count && !deadline.hasExpired())
        QThread::msleep(100);
    return jobFiles(folder).mid(before);
}

QMap<QString, QString> jobAttributes(const QString &server, int jobId, const QString &queue)
{
    QMap<QString, QString> found;
    const bool socket = server.startsWith(QLatin1Char('/'));
    const QByteArray host = (socket ? server : server.section(QLatin1Char(':'), 0, 0)).toUtf8();
    const int port = socket ? 631 : server.section(QLatin1Char(':'), 1).toInt();
    http_t *http = httpConnect2(host.constData(), port, nullptr, AF_UNSPEC, HTTP_ENCRYPTION_IF_REQUESTED, 1, 5000, nullptr);
    if (!http)
        return found;
    char uri[HTTP_MAX_URI];
    ipp_t *request = nullptr;
    if (jobId > 0) {
        request = ippNewRequest(IPP_OP_GET_JOB_ATTRIBUTES);
        httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", 631, "/jobs/%d", jobId);
        ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "job-uri", nullptr, uri);
    } else {
        request = ippNewRequest(IPP_OP_GET_JOBS);
        httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", 631, "/printers/%s",
                         queue.toUtf8().constData());
        ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri);
        ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "which-jobs", nullptr, "all");
    }
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", nullptr, "all");
    if (ipp_t *response = cupsDoRequest(http, request, "/")) {
        QMap<QString, QString> job;
        int newest = 0;
        auto endJob = [&] {
            const int id = job.value(QStringLiteral("job-id")).toInt();
            if (id >= newest && !job.isEmpty()) {
                newest = id;
                found = job;
            }
            job.clear();
        };
        for (ipp_attribute_t *a = ippFirstAttribute(response); a; a = ippNextAttribute(response)) {
            if (ippGetGroupTag(a) != IPP_TAG_JOB) {
                if (!job.isEmpty())
                    endJob();
                continue;
            }
            char value[256];
            ippAttributeString(a, value, sizeof value);
            job.insert(QString::fromUtf8(ippGetName(a)), QString::fromUtf8(value));
        }
        endJob();
        ippDelete(response);
    }
    httpClose(http);
    return found;
}

int jobIdOf(const QString &file)
{
    return QFileInfo(file).fileName().mid(4).chopped(4).toInt();
}

} // namespace zltest
