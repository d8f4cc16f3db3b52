// The same 50 x 30 mm JAN label printed to PDF by `zenlabo --print` (the
// built-in PDF printer) and by gLabels 3's `glabels-3-batch` with a CSV merge,
// for 1, 10, 100 and 300 records, and 300 records on a 44-label A4 sheet
// (Zenlabo's A4-44 and gLabels' own template of the same sheet, Hisago
// ELM022). Runs are paired (one of each, in turn, several times) and the
// medians compared.
// Targets at 300 records, one a page and on the sheet: time at most 0.15 x
// gLabels', file no larger than gLabels'.
// gLabels is not a dependency of the program: install it with
// bench/setup-glabels first.
#include "BenchHome.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>

namespace {

const QString kTitle1 = QStringLiteral("ゼンラボ商店");
const QString kTitle2 = QStringLiteral("税込価格");

struct Record {
    QString jan, name, pack, price;
};

QList<Record> records(int n)
{
    QList<Record> list;
    for (int i = 1; i <= n; ++i)
        list.append({QStringLiteral("4912345%1").arg(i, 5, 10, QLatin1Char('0')), QStringLiteral("商品 %1 番").arg(i),
                     QStringLiteral("500ml"), QString::number(100 + i)});
    return list;
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
}

// A gLabels template: one 50 x 30 mm label a page, or the 44-label sheet as
// gLabels describes Hisago ELM022.
QString glabelsTemplate(bool sheet)
{
    if (sheet)
        return QStringLiteral(R"(<Template brand="Hisago" part="ELM022" size="A4" description="Rectangular labels">
    <Meta category="label"/>
    <Label-rectangle id="0" width="48.3mm" height="25.4mm" round="0mm" x_waste="0mm" y_waste="0mm">
      <Layout nx="4" ny="11" x0="8.4mm" y0="8.8mm" dx="48.3mm" dy="25.4mm"/>
    </Label-rectangle>
  </Template>)");
    return QStringLiteral(R"(<Template brand="Zenlabo" part="JAN-50x30" size="Other" width="50mm" height="30mm" description="JAN label 50 x 30 mm">
    <Meta category="label"/>
    <Label-rectangle id="0" width="50mm" height="30mm" round="0mm" x_waste="0mm" y_waste="0mm">
      <Layout nx="1" ny="1" x0="0mm" y0="0mm" dx="50mm" dy="30mm"/>
    </Label-rectangle>
  </Template>)");
}

// Zenlabo's settings: the records as a Shift-JIS CSV, both titles, no
// adjustments.
void writeZenlaboSettings(const QString &home, const QList<Record> &list)
{
    QString csv = QStringLiteral("JANコード,商品名,規格,価格\r\n");
    for (const Record &r : list)
        csv += QStringLiteral("%1,%2,%3,%4\r\n").arg(r.jan, r.name, r.pack, r.price);
    zlbench::writeSettings(home, csv, QStringLiteral("256"), kTitle1, kTitle2);
}

// The same label as a gLabels 3 document: the same texts, fonts, sizes and
// places, an EAN-13 32 mm wide at (1, 14) mm, merged from a UTF-8 CSV.
void writeGlabelsDocument(const QString &folder, const QList<Record> &list, bool sheet)
{
    QString csv = QStringLiteral("JAN,NAME,SPEC,PRICE\n");
    for (const Record &r : list)
        csv += QStringLiteral("%1,%2,%3,%4\n").arg(r.jan, r.name, r.pack, r.price);
    writeFile(folder + QStringLiteral("/items.csv"), csv.toUtf8());
    const QString identity = QStringLiteral(R"( a0="1" a1="0" a2="0" a3="1" a4="0" a5="0" shadow="False")");
    auto text = [&](double x, double y, double size, bool bold, bool italic, const QString &content) {
        return QStringLiteral(R"(<Object-text x="%1mm" y="%2mm" w="%3mm" h="5mm" justify="Left" auto_shrink="False"%4>)"
                              R"(<Span font_family="IPAPGothic" font_size="%5" font_weight="%6" font_italic="%7" )"
                              R"(color="0x000000ff" line_spacing="1">%8</Span></Object-text>)")
            .arg(x).arg(y).arg(49 - x).arg(identity).arg(size)
            .arg(bold ? QStringLiteral("Bold") : QStringLiteral("Regular"))
            .arg(italic ? QStringLiteral("True") : QStringLiteral("False"), content);
    };
    auto field = [](const char *name) { return QStringLiteral(R"(<Field name="%1"/>)").arg(QLatin1String(name)); };
    QString objects;
    objects += text(9, 0.2, 8, true, true, kTitle1);
    objects += QStringLiteral(R"(<Object-line x="0mm" y="4mm" dx="50mm" dy="0mm" line_width="0.25mm" line_color="0x000000ff"%1/>)").arg(identity);
    objects += text(3, 4, 7, true, false, field("NAME"));
    objects += text(3, 6.5, 8, false, false, field("SPEC"));
    objects += text(13, 9.7, 11, true, true, QStringLiteral("￥") + field("PRICE"));
    objects += text(1, 11, 6.5, true, true, kTitle2);
    objects += QStringLiteral(R"(<Object-barcode x="1mm" y="14mm" w="32mm" h="6.5mm" backend="gnu-barcode" style="EAN-13" )"
                              R"(text="False" checksum="True" format="10" color="0x000000ff" field="JAN"%1/>)").arg(identity);
    objects += text(4, 21, 8, true, false, field("JAN"));
    const QString doc = QStringLiteral(R"(<?xml version="1.0"?>
<Glabels-document xmlns="http://glabels.org/xmlns/3.0/">
  %1
  <Objects id="0" rotate="False">%2</Objects>
  <Merge type="Text/Comma/Line1Keys" src="%3"/>
</Glabels-document>
)").arg(glabelsTemplate(sheet), objects, folder + QStringLiteral("/items.csv"));
    writeFile(folder + QStringLiteral("/label.glabels"), doc.toUtf8());
}

// Seconds a command took, or a negative number when it failed.
double timed(const QString &program, const QStringList &args, const QProcessEnvironment &env, const QString &cwd)
{
    QProcess p;
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(cwd);
    p.setStandardOutputFile(QProcess::nullDevice());
    p.setStandardErrorFile(QProcess::nullDevice());
    QElapsedTimer t;
    t.start();
    p.start(program, args);
    if (!p.waitForFinished(600000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return -1;
    return t.nsecsElapsed() / 1e9;
}

int pages(const QString &pdf)
{
    QProcess p;
    p.start(QStringLiteral("pdfinfo"), {pdf});
    p.waitForFinished(60000);
    const QRegularExpressionMatch m =
        QRegularExpression(QStringLiteral("Pages:\\s+(\\d+)")).match(QString::fromUtf8(p.readAllStandardOutput()));
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

double median(QList<double> v)
{
    std::sort(v.begin(), v.end());
    return v.isEmpty() ? 0 : v[v.size() / 2];
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QString glabels = QStandardPaths::findExecutable(QStringLiteral("glabels-3-batch"));
    if (glabels.isEmpty()) {
        std::printf("glabels-3-batch is not installed: run bench/setup-glabels first\n");
        return 2;
    }
    const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 5;
    std::printf("%-8s %12s %12s %7s %12s %12s %7s\n", "records", "zenlabo s", "gLabels s", "time", "zenlabo KB",
                "gLabels KB", "size");
    bool ok = true;
    const struct {
        int records;
        bool sheet;
    } cases[] = {{1, false}, {10, false}, {100, false}, {300, false}, {300, true}};
    for (const auto &c : cases) {
        const int n = c.records;
        QTemporaryDir dir;
        const QString home = dir.path();
        const QList<Record> list = records(n);
        writeZenlaboSettings(home, list);
        writeGlabelsDocument(home, list, c.sheet);
        QStringList zenArgs{QStringLiteral("--print"), QStringLiteral("--printer"), QStringLiteral("Zenlabo PDF")};
        if (c.sheet)
            zenArgs << QStringLiteral("--sheet") << QStringLiteral("A4-44") << QStringLiteral("--sheet-start")
                    << QStringLiteral("1");
        const int expectedPages = c.sheet ? (n + 43) / 44 : n;
        const QString label = c.sheet ? QStringLiteral("%1 A4-44").arg(n) : QString::number(n);
        QProcessEnvironment env = zlbench::environmentFor(home);
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        const QString pdfFolder = home + QStringLiteral("/Documents/Zenlabo");
        QList<double> zen, gl, ratios;
        QString zenPdf;
        for (int round = 0; round < rounds; ++round) {
            QDir(pdfFolder).removeRecursively();
            // Alternate which goes first, so neither always finds warm caches.
            double z = 0, g = 0;
            auto runZen = [&] {
                z = timed(QStringLiteral(ZENLABO_BINARY), zenArgs, env, home);
            };
            auto runGl = [&] {
                g = timed(glabels, {QStringLiteral("-o"), home + QStringLiteral("/glabels.pdf"), home + QStringLiteral("/label.glabels")},
                          env, home);
            };
            if (round % 2) {
                runGl();
                runZen();
            } else {
                runZen();
                runGl();
            }
            if (z < 0 || g < 0) {
                std::printf("%s records: %s failed\n", qPrintable(label), z < 0 ? "zenlabo" : "glabels-3-batch");
                return 1;
            }
            zen << z;
            gl << g;
            ratios << z / g;
            const QStringList made = QDir(pdfFolder).entryList({QStringLiteral("labels-*.pdf")}, QDir::Files);
            zenPdf = made.size() == 1 ? pdfFolder + QLatin1Char('/') + made.first() : QString();
        }
        const QString glPdf = home + QStringLiteral("/glabels.pdf");
        if (zenPdf.isEmpty() || pages(zenPdf) != expectedPages || pages(glPdf) != expectedPages) {
            std::printf("%s records: expected one PDF of %d pages from each (zenlabo %d, gLabels %d)\n",
                        qPrintable(label), expectedPages, zenPdf.isEmpty() ? -1 : pages(zenPdf), pages(glPdf));
            return 1;
        }
        const double zenKb = QFileInfo(zenPdf).size() / 1024.0, glKb = QFileInfo(glPdf).size() / 1024.0;
        const double timeRatio = median(ratios), sizeRatio = zenKb / glKb;
        std::printf("%-8s %12.3f %12.3f %6.2fx %12.1f %12.1f %6.2fx\n", qPrintable(label), median(zen), median(gl),
                    timeRatio, zenKb, glKb, sizeRatio);
        if (n == 300) {
            const bool timeMet = timeRatio <= 0.15, sizeMet = sizeRatio <= 1.0;
            std::printf("%s records: time %.2f x gLabels (target <= 0.15) %s; size %.2f x (target <= 1.00) %s\n",
                        qPrintable(label), timeRatio, timeMet ? "MET" : "MISSED", sizeRatio, sizeMet ? "MET" : "MISSED");
            ok = ok && timeMet && sizeMet;
        }
    }
    std::printf("(medians of %d paired runs; time ratio = median of the per-pair ratios)\n", rounds);
    return ok ? 0 : 1;
}
