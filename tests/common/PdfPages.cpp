#include "PdfPages.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

namespace zltest {

int pdfPageCount(const QString &path)
{
    const QString pdfinfo = QStandardPaths::findExecutable(QStringLiteral("pdfinfo"));
    if (pdfinfo.isEmpty())
        return -2;
    QProcess p;
    p.start(pdfinfo, {path});
    if (!p.waitForFinished(60000) || p.exitCode() != 0)
        return -1;
    const QString out = QString::fromUtf8(p.readAllStandardOutput());
    const QRegularExpressionMatch m = QRegularExpression(QStringLiteral("^Pages:\\s+(\\d+)"),
                                                         QRegularExpression::MultilineOption)
                                          .match(out);
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

QList<QSize> pdfPageSizesMm(const QString &path)
{
    QList<QSize> sizes;
    QProcess p;
    p.start(QStringLiteral("pdfinfo"), {QStringLiteral("-f"), QStringLiteral("1"), QStringLiteral("-l"), QStringLiteral("9999"), path});
    if (!p.waitForFinished(60000) || p.exitCode() != 0)
        return sizes;
    static const QRegularExpression line(QStringLiteral("^Page +\\d+ size: +([\\d.]+) x ([\\d.]+) pts"),
                                         QRegularExpression::MultilineOption);
    auto it = line.globalMatch(QString::fromUtf8(p.readAllStandardOutput()));
    while (it.hasNext()) {
        const QRegularExpressionMatch m = it.next();
        sizes.append(QSize(qRound(m.captured(1).toDouble() * 25.4 / 72), qRound(m.captured(2).toDouble() * 25.4 / 72)));
    }
    return sizes;
}

QList<QImage> pdfPageImages(const QString &path, int dpi)
{
    QList<QImage> images;
    const QString pdftoppm = QStandardPaths::findExecutable(QStringLiteral("pdftoppm"));
    QTemporaryDir dir;
    if (pdftoppm.isEmpty() || !dir.isValid())
        return images;
    QProcess p;
    p.start(pdftoppm, {QStringLiteral("-png"), QStringLiteral("-r"), QString::number(dpi), path, dir.filePath(QStringLiteral("p"))});
    if (!p.waitForFinished(120000) || p.exitCode() != 0)
        return images;
    const QStringList names = QDir(dir.path()).entryList({QStringLiteral("p-*.png")}, QDir::Files, QDir::Name);
    for (const QString &name : names)
        images.append(QImage(dir.filePath(name)));
    return images;
}

QString pdfText(const QString &path)
{
    QProcess p;
    p.start(QStringLiteral("pdftotext"), {path, QStringLiteral("-")});
    const bool read = p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    return read ? QString::fromUtf8(p.readAllStandardOutput()).simplified() : QString();
}

QList<QByteArray> pdfPageContents(const QByteArray &pdf)
{
    QList<QByteArray> pages;
    static const QRegularExpression page(QStringLiteral("/Type/Page[^s].*?/Contents (\\d+) 0 R"));
    const QString text = QString::fromLatin1(pdf);
    for (auto it = page.globalMatch(text); it.hasNext();) {
        const QByteArray object = it.next().captured(1).toLatin1() + " 0 obj\n";
        const qsizetype at = pdf.indexOf("\n" + object);
        const qsizetype from = pdf.indexOf("stream\n", at) + 7;
        const qsizetype to = pdf.indexOf("\nendstream", from);
        if (at < 0 || from < 7 || to < 0)
            return {};
        // qUncompress wants the length in front of the zlib stream.
        QByteArray data = pdf.mid(from, to - from);
        data.prepend(QByteArray("\x00\x10\x00\x00", 4));
        pages.append(qUncompress(data));
    }
    return pages;
}

} // namespace zltest
