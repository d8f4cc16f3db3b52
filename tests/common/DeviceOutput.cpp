#include "DeviceOutput.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QTemporaryFile>
#include <QThread>
#include <cups/cups.h>
#include <cups/raster.h>
#include <fcntl.h>
#include <unistd.h>

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

namespace zltest {

namespace {

// One label of rows of packed bits (MSB first, set = dark); short rows are blank.
QImage imageOfRows(const QList<QByteArray> &rows, int bytesPerRow)
{
    if (rows.isEmpty() || bytesPerRow <= 0)
        return {};
    QImage image(bytesPerRow * 8, int(rows.size()), QImage::Format_Grayscale8);
    for (int y = 0; y < rows.size(); ++y) {
        const QByteArray row = rows[y].leftJustified(bytesPerRow, '\0', true);
        for (int x = 0; x < image.width(); ++x)
            image.scanLine(y)[x] = (uchar(row[x / 8]) & (0x80 >> (x % 8))) ? 0 : 255;
    }
    return image;
}

// The decimal number at `i`, leaving `i` after it.
int numberAt(const QByteArray &data, int &i)
{
    int n = 0;
    while (i < data.size() && data[i] >= '0' && data[i] <= '9')
        n = n * 10 + (data[i++] - '0');
    return n;
}

} // namespace

QList<QImage> decodeEplGraphics(const QByteArray &job)
{
    QList<QImage> labels;
    QList<QByteArray> rows;
    int bytesPerRow = 0;
    for (int i = 0; i < job.size();) {
        if (job.mid(i, 3) == "P1\n") {
            labels << imageOfRows(rows, bytesPerRow);
            rows.clear();
            i += 3;
        } else if (job.mid(i, 4) == "GW0,") {
            i += 4;
            const int y = numberAt(job, i);
            const int bytes = numberAt(job, ++i);
            i = int(job.indexOf('\n', i)) + 1;
            QByteArray row = job.mid(i, bytes);
            for (char &c : row)
                c = char(~c);
            while (rows.size() <= y)
                rows << QByteArray();
            rows[y] = row;
            bytesPerRow = std::max(bytesPerRow, bytes);
            i += bytes;
        } else {
            ++i;
        }
    }
    return labels;
}

QList<QImage> decodeDymoLabels(const QByteArray &job)
{
    QList<QImage> labels;
    QList<QByteArray> rows;
    int bytesPerRow = 0;
    for (int i = 0; i + 1 < job.size();) {
        const char c = job[i], command = job[i + 1];
        if (c == 0x16) {
            rows << job.mid(i + 1, bytesPerRow);
            i += 1 + bytesPerRow;
        } else if (c == 0x1b && command == 'D') {
            bytesPerRow = uchar(job.at(i + 2));
            i += 3;
        } else if (c == 0x1b && (command == 'L' || command == 'f')) {
            for (int n = command == 'f' ? uchar(job.at(i + 3)) : 0; n > 0; --n)
                rows << QByteArray();
            i += 4;
        } else if (c == 0x1b && command == 'E') {
            labels << imageOfRows(rows, bytesPerRow);
            rows.clear();
            i += 2;
        } else {
            i += c == 0x1b ? 2 : 1;
        }
    }
    return labels;
}

QList<QImage> decodePclLabels(const QByteArray &job)
{
    QList<QImage> labels;
    QList<QByteArray> rows;
    QByteArray seed;
    for (int i = 0; i < job.size();) {
        if (job[i] == '\f') {
            labels << imageOfRows(rows, int(seed.size()));
            rows.clear();
        }
        if (job.mid(i, 2) != "\033*" || i + 2 >= job.size()) {
            ++i;
            continue;
        }
        const char group = job[i + 2];
        i += 3;
        const int n = numberAt(job, i);
        const char command = i < job.size() ? job[i++] : '\0';
        if (group == 'r' && command == 'S') {
            seed = QByteArray((n + 7) / 8, '\0');
        } else if (group == 'b' && command == 'Y') {
            for (int k = 0; k < n; ++k)
                rows << QByteArray();
            seed.fill('\0');
        } else if (group == 'b' && command == 'W') {
            // Mode 3: a command byte (count - 1 in its top 3 bits, an offset
            // in the low 5; 31 goes on in bytes up to one below 255), then
            // the bytes that replace the seed row's from there.
            for (int end = i + n, at = 0; i < end;) {
                const uchar cmd = uchar(job[i++]);
                int offset = cmd & 31;
                for (uchar more = 255; offset >= 31 && more == 255 && i < end; offset += more)
                    more = uchar(job[i++]);
                at += offset;
                for (int k = 0; k <= cmd >> 5 && i < end; ++k, ++at, ++i)
                    if (at < seed.size())
                        seed[at] = job[i];
            }
            rows << seed;
        }
    }
    return labels;
}

QList<QImage> decodeRasterPages(const QByteArray &job)
{
    QList<QImage> pages;
    QTemporaryFile file;
    if (!file.open() || file.write(job) != job.size() || !file.flush())
        return pages;
    const int fd = ::open(QFile::encodeName(file.fileName()).constData(), O_RDONLY);
    cups_raster_t *raster = fd < 0 ? nullptr : cupsRasterOpen(fd, CUPS_RASTER_READ);
    cups_page_header2_t h;
    while (raster && cupsRasterReadHeader2(raster, &h) && (h.cupsBitsPerPixel == 1 || h.cupsBitsPerPixel == 8)) {
        // Black (K) counts up with ink; grey (W, sW) with light.
        const bool inkUp = h.cupsColorSpace == CUPS_CSPACE_K;
        QImage image(int(h.cupsWidth), int(h.cupsHeight), QImage::Format_Grayscale8);
        QByteArray line(int(h.cupsBytesPerLine), '\0');
        for (int y = 0; y < image.height(); ++y) {
            if (!cupsRasterReadPixels(raster, reinterpret_cast<uchar *>(line.data()), h.cupsBytesPerLine))
                break;
            for (int x = 0; x < image.width(); ++x) {
                const int v = h.cupsBitsPerPixel == 1 ? ((uchar(line[x / 8]) & (0x80 >> (x % 8))) ? 255 : 0) : uchar(line[x]);
                image.scanLine(y)[x] = (inkUp ? v >= 128 : v < 128) ? 0 : 255;
            }
        }
        pages << image;
    }
    if (raster)
        cupsRasterClose(raster);
    if (fd >= 0)
        ::close(fd);
    return pages;
}

QList<QImage> decodeLabels(const QString &format, const QByteArray &job)
{
    if (format == QLatin1String("zpl")) {
        QList<QImage> labels;
        for (int at = int(job.indexOf("~DG")); at >= 0; at = int(job.indexOf("~DG", at + 3)))
            labels << decodeZplGraphic(job.mid(at));
        return labels;
    }
    using Decoder = QList<QImage> (*)(const QByteArray &);
    static const QHash<QString, Decoder> decoders{{QStringLiteral("epl"), decodeEplGraphics},
                                                  {QStringLiteral("dymo"), decodeDymoLabels},
                                                  {QStringLiteral("pcl"), decodePclLabels},
                                                  {QStringLiteral("pwg"), decodeRasterPages}};
    const Decoder decode = decoders.value(format);
    return decode ? decode(job) : QList<QImage>();
}

QString moduleFault(const QList<int> &runs, int modules)
{
    int total = 0;
    for (int r : runs)
        total += r;
    const int module = qRound(double(total) / modules);
    const int reduction = module * modules - total;
    if (module < 1 || reduction < 0 || reduction >= module)
        return QStringLiteral("%1 dots for %2 modules").arg(total).arg(modules);
    for (int i = 0; i < runs.size(); ++i) {
        const int whole = runs[i] + (i % 2 == 0 ? reduction : -reduction);
        if (whole % module || whole < module || whole > 4 * module)
            return QStringLiteral("run %1 is %2 dots with %3-dot modules").arg(i).arg(runs[i]).arg(module);
    }
    return {};
}

} // namespace zltest
