#include "LabelSupport.h"
#include "common/PdfPages.h"
#include "common/TestEnv.h"
#include "common/TestRegistry.h"

#include "common/Failure.h"
#include "layout/Titles.h"
#include "pdf/PdfPrinter.h"
#include "printing/ProgramRun.h"

#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <qplatformdefs.h>
#include <sys/file.h>
#include <sys/stat.h>

using namespace zl::printing;
using namespace zl::label;
using zl::printer::PdfPrinter;

namespace {
QStringList pdfsIn(const QString &folder)
{
    return QDir(folder).entryList({QStringLiteral("*.pdf")}, QDir::Files, QDir::Name);
}
QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
// Row n's code as zbar reads it: the twelve digits and their check digit.
QString janOf(int row)
{
    const QString digits = QStringLiteral("4912345%1").arg(row, 5, 10, QLatin1Char('0'));
    int sum = 0;
    for (int i = 0; i < 12; ++i)
        sum += digits[i].digitValue() * (i % 2 ? 3 : 1);
    return digits + QString::number((10 - sum % 10) % 10);
}

// A data file of `records` products in a fresh home, the PDF printer current.
PdfPrinter *useRecords(zltest::TempHome &home, int records, int badPriceRow)
{
    home.installDefaults();
    QString text = QStringLiteral("JANコード,商品名,規格,価格\r\n");
    for (int i = 1; i <= records; ++i)
        text += QStringLiteral("4912345%1,商品%2,規格,%3\r\n")
                    .arg(i, 5, 10, QLatin1Char('0'))
                    .arg(i)
                    .arg(i == badPriceRow ? QStringLiteral("時価") : QString::number(100 + i));
    home.writeFile(QStringLiteral("items.csv"), zltest::sjis(text));
    home.writeTable(QStringLiteral("vokiconfig2.txt"), {QStringLiteral("DB1"), QStringLiteral("DB2")},
                    {home.settingsFolder(), QStringLiteral("items.csv")});
    std::vector<std::unique_ptr<zl::printer::Printer>> list;
    list.push_back(std::make_unique<PdfPrinter>(home.root() + QStringLiteral("/pdf")));
    auto *pdf = static_cast<PdfPrinter *>(list.front().get());
    zl::printer::installPrinters(std::make_unique<zl::printer::OwnedPrinterCollection>(std::move(list)));
    return pdf;
}

// cancelAt: the operator cancels as label number cancelAt starts (0: never).
zl::printing::RunResult runOnce(int cancelAt = 0)
{
    zl::printing::loadAdjustmentsIntoLabelFields();
    // The operator prints on after the check names a price that is not a number.
    zl::printing::RunHooks hooks;
    hooks.confirmCheck = [](const zl::printing::RunCheck &) { return true; };
    zl::printing::RunControl control;
    int started = 0;
    hooks.progressBar = [&](const QString &bar) {
        if (bar.isEmpty() && ++started == cancelAt)
            control.cancel = true;
    };
    zl::printing::ProgramRunServices services(*zl::printing::prepareRun(hooks), control, hooks);
    int cap = zl::printing::kLabelsPerOpening, remaining = 0;
    return zl::printing::runContinuous(services, cap, remaining);
}

QList<QPicture> onePage()
{
    QPicture page;
    QPainter p(&page);
    p.drawLine(QPointF(0, 0), QPointF(10, 10));
    p.end();
    return {page};
}
} // namespace

class TestPdfPrinter : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QLocale::setDefault(QLocale::c());
        zl::layout::setLiveTitlesSource([] { return zl::layout::Titles{QStringLiteral("ゼンラボ"), QStringLiteral("本日限り")}; });
    }
    void cleanupTestCase()
    {
        zl::printer::installPrinters(nullptr);
        zl::layout::setLiveTitlesSource({});
    }

    void paper()
    {
        PdfPrinter printer(QStringLiteral("/nonexistent"));
        QCOMPARE(printer.deviceName(), QStringLiteral("Zenlabo PDF"));
        QCOMPARE(printer.paperSize(), std::optional<int>(256));
        const zl::printer::PageGeometry g = printer.pageGeometry();
        QCOMPARE(qRound(g.paperMm.width()), 50);
        QCOMPARE(qRound(g.paperMm.height()), 30);
        QCOMPARE(g.printableMm, QRectF(QPointF(0, 0), g.paperMm));
        QVERIFY(printer.setPaperSize(9)); // A4
        QCOMPARE(printer.pageWidthTwips(), std::optional<int>(11906));
        QCOMPARE(printer.pageHeightTwips(), std::optional<int>(16838));
        QVERIFY(!printer.setPageWidthTwips(2000)); // only on a user size
        QVERIFY(!printer.setPaperSize(4242));
        QCOMPARE(printer.paperSize(), std::optional<int>(9));
        // A4 in between (a sheet's run) leaves the user-defined size as it was.
        QVERIFY(printer.setPaperSize(256));
        QCOMPARE(qRound(printer.pageGeometry().paperMm.width()), 50);
        QCOMPARE(qRound(printer.pageGeometry().paperMm.height()), 30);
        QVERIFY(printer.setPageWidthTwips(3402));
        QCOMPARE(qRound(printer.pageGeometry().paperMm.width()), 60);
        QList<int> codes;
        for (const auto &paper : printer.papers())
            codes << paper.code;
        QVERIFY(codes.contains(1) && codes.contains(9) && codes.contains(256));
        QVERIFY(std::is_sorted(codes.begin(), codes.end()));
    }

    // A run is one file, named by when it began; it appears only when it is
    // complete, never replaces another run's file, and a run that fails keeps
    // what it printed.
    void oneFilePerRun_data()
    {
        QTest::addColumn<QList<int>>("documents"); // pages of each document of the run
        QTest::addColumn<bool>("ok");
        QTest::addColumn<int>("pages");
        QTest::addColumn<QString>("note");
        QTest::addColumn<int>("turnAt"); // the document from which the paper is turned (landscape)
        QTest::newRow("three labels, one of two pages") << QList<int>{1, 2, 1} << true << 4 << QStringLiteral("ラベル3枚をPDFファイル") << -1;
        QTest::newRow("the last label turned") << QList<int>{1, 1, 1} << true << 3 << QStringLiteral("ラベル3枚をPDFファイル") << 2;
        QTest::newRow("failed after two") << QList<int>{1, 1} << false << 2 << QStringLiteral("それまでに印刷したラベル2枚は") << -1;
        QTest::newRow("nothing printed") << QList<int>{} << true << 0 << QString() << -1;
    }
    void oneFilePerRun()
    {
        QFETCH(QList<int>, documents);
        QFETCH(bool, ok);
        QFETCH(int, pages);
        QFETCH(QString, note);
        QFETCH(int, turnAt);
        QTemporaryDir dir;
        const QString earlier = dir.filePath(QStringLiteral("labels-20261207-093012.pdf"));
        QFile old(earlier);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("an earlier run");
        old.close();
        PdfPrinter printer(dir.path());
        printer.setClock([] { return QDateTime(QDate(2026, 12, 7), QTime(9, 30, 12)); });
        printer.beginRun();
        QList<QSize> sizes;
        for (int d = 0; d < documents.size(); ++d) {
            const int n = documents[d];
            if (d == turnAt)
                QVERIFY(printer.setOrientation(2));
            for (int i = 0; i < n; ++i)
                sizes << (d >= turnAt && turnAt >= 0 ? QSize(30, 50) : QSize(50, 30));
            QList<QPicture> doc;
            for (int i = 0; i < n; ++i)
                doc += onePage();
            printer.printDocument(doc);
            QCOMPARE(pdfsIn(dir.path()), QStringList{QFileInfo(earlier).fileName()}); // not before it is complete
        }
        const QString said = printer.endRun(ok);
        QCOMPARE(readAll(earlier), QByteArray("an earlier run"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), pages ? 2 : 1); // no temporary left
        if (!pages) {
            QVERIFY(said.isEmpty());
            return;
        }
        const QString made = printer.lastDocumentPath();
        QCOMPARE(QFileInfo(made).fileName(), QStringLiteral("labels-20261207-093012-2.pdf"));
        QVERIFY2(said.startsWith(note) && said.contains(made), qPrintable(said));
        QCOMPARE(zltest::pdfPageCount(made), pages);
        QCOMPARE(zltest::pdfPageSizesMm(made), sizes); // every label on its own paper
        QCOMPARE(printer.lastDocumentLabels(), int(documents.size()));
        const mode_t mask = ::umask(0);
        ::umask(mask);
        QT_STATBUF st;
        QVERIFY(QT_STAT(QFile::encodeName(made).constData(), &st) == 0);
        QCOMPARE(st.st_mode & 0777, 0666 & ~mask); // as any file the user makes, not private
    }

    // What killed runs left: the next run removes their files, never one a
    // live run is writing. Its own file is never seen half written: it has
    // no name, or on a folder that cannot hold a nameless file, a hidden
    // name it keeps locked until the file is complete.
    void leftoversOfKilledRuns_data() { zltest::addTemporaryFileRows(); }
    void leftoversOfKilledRuns()
    {
        QFETCH(bool, named);
        QTemporaryDir dir;
        const QString taken = QStringLiteral("labels-20261207-093012.pdf");
        const QStringList present{QStringLiteral(".labels-killed.part"), QStringLiteral(".labels-printing.part"), taken};
        for (const QString &name : present) {
            QFile f(dir.filePath(name));
            QVERIFY(f.open(QIODevice::WriteOnly) && f.write("%PDF-1.4 cut short") > 0);
        }
        QFile live(dir.filePath(QStringLiteral(".labels-printing.part")));
        QVERIFY(live.open(QIODevice::ReadWrite) && ::flock(live.handle(), LOCK_EX | LOCK_NB) == 0);
        const zltest::TemporaryFileNaming naming(named); // the programs started take it from here
        PdfPrinter printer(dir.path());
        printer.setClock([] { return QDateTime(QDate(2026, 12, 7), QTime(9, 30, 12)); });
        printer.beginRun();
        printer.printDocument(onePage());
        QStringList own = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden);
        for (const QString &name : present)
            own.removeOne(name);
        QCOMPARE(own.size(), named ? 1 : 0);
        if (named) {
            QFile f(dir.filePath(own[0]));
            QVERIFY(own[0].startsWith(QStringLiteral(".labels-")) && own[0].endsWith(QStringLiteral(".part")) && f.open(QIODevice::ReadOnly));
            QVERIFY2(::flock(f.handle(), LOCK_EX | LOCK_NB) != 0, "a run's file is locked while it is written");
        }
        printer.endRun(true);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
                 (QStringList{QStringLiteral(".labels-printing.part"), QStringLiteral("labels-20261207-093012-2.pdf"), taken}));
        QCOMPARE(zltest::pdfPageCount(printer.lastDocumentPath()), 1);
    }

    void unwritableFolderIsAFailure()
    {
        QTemporaryDir dir;
        const QString blocker = dir.filePath(QStringLiteral("file"));
        QFile f(blocker);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        PdfPrinter printer(blocker + QStringLiteral("/sub"));
        QVERIFY_THROWS_EXCEPTION(zl::Failure, printer.printDocument(onePage()));
    }

    // Whole runs through the program's run, renderer and PDF printer, read
    // back by poppler and zbar: one page per label printed, every page scans,
    // a cancelled label is no page, a failing run keeps a valid file.
    void runs_data()
    {
        QTest::addColumn<int>("records");
        QTest::addColumn<int>("cancelAt"); // the label whose progress window is cancelled
        QTest::addColumn<int>("badPriceRow");
        QTest::addColumn<int>("pages");
        QTest::newRow("every record") << 12 << 0 << 0 << 12;
        QTest::newRow("cancel at the 5th label") << 12 << 5 << 0 << 4;
        QTest::newRow("failure at row 7") << 12 << 0 << 7 << 6;
    }
    void runs()
    {
        QFETCH(int, records);
        QFETCH(int, cancelAt);
        QFETCH(int, badPriceRow);
        QFETCH(int, pages);
        if (zltest::pdfPageCount(QString()) == -2)
            QSKIP("poppler-utils is not installed");
        zltest::TempHome home;
        PdfPrinter *pdf = useRecords(home, records, badPriceRow);
        QString failure;
        zl::printing::RunResult result;
        try {
            result = runOnce(cancelAt);
        } catch (const zl::Failure &f) {
            failure = f.description();
        }
        const QString path = pdf->lastDocumentPath();
        QCOMPARE(pdfsIn(pdf->outputFolder()), QStringList{QFileInfo(path).fileName()});
        QCOMPARE(zltest::pdfPageCount(path), pages);
        if (badPriceRow)
            QVERIFY2(failure.contains(QStringLiteral("それまでに印刷したラベル%1枚は").arg(pages)) && failure.contains(path),
                     qPrintable(failure));
        else
            QVERIFY2(failure.isEmpty() && result.destination.contains(QStringLiteral("ラベル%1枚をPDFファイル %2").arg(pages).arg(path)),
                     qPrintable(failure + result.destination));
        for (int dpi : {203, 300}) {
            const QList<QImage> images = zltest::pdfPageImages(path, dpi);
            QCOMPARE(images.size(), pages);
            for (int i = 0; i < pages; ++i) {
                QVERIFY(qAbs(images[i].width() - qRound(50 / 25.4 * dpi)) <= 1);
                QCOMPARE(zltest::decodeBarcodes(images[i]), QStringList{QStringLiteral("EAN-13:") + janOf(i + 1)});
            }
            if (const QByteArray keep = qgetenv("ZENLABO_KEEP_LABEL_PNG"); !keep.isEmpty() && dpi == 300 && !cancelAt)
                images.first().save(QString::fromLocal8Bit(keep));
        }
    }

    // A disk that fills up: the run stops with a message that says so, no
    // file is left, neither broken nor empty, and the count is 0.
    void fullDisk_data()
    {
        QTest::addColumn<int>("records");
        QTest::addColumn<int>("kilobytes");
        QTest::addColumn<QString>("said");
        QTest::newRow("full in the middle of the run") << 300 << 64 << QStringLiteral("PDFファイルに書き込めません。");
        QTest::newRow("full at the end of the file") << 1 << 4 << QStringLiteral("PDFファイルを保存できません。");
    }
    void fullDisk()
    {
        QFETCH(int, records);
        QFETCH(int, kilobytes);
        QFETCH(QString, said);
        zltest::TempHome home;
        PdfPrinter *pdf = useRecords(home, records, 0);
        const QString disk = home.root() + QStringLiteral("/small-disk");
        QDir().mkpath(disk);
        QProcess mount;
        mount.start(QStringLiteral("mount"), {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                                              QStringLiteral("size=%1k").arg(kilobytes), QStringLiteral("tmpfs"), disk});
        if (!mount.waitForFinished(10000) || mount.exitStatus() != QProcess::NormalExit || mount.exitCode() != 0)
            QSKIP("a small tmpfs cannot be mounted here (needs root): the full-disk case is not tested");
        struct Unmount {
            QString disk;
            ~Unmount() { QProcess::execute(QStringLiteral("umount"), {disk}); }
        } unmount{disk};
        pdf->setOutputFolder(disk);
        QString failure;
        int printed = -1, nextRow = -1;
        try {
            runOnce();
        } catch (const zl::printing::RunFailure &f) {
            failure = f.description();
            printed = f.printed();
            nextRow = f.nextRow();
        }
        // Nothing was kept: nothing counts as printed, and the run goes on
        // from its first row.
        QCOMPARE(printed, 0);
        QCOMPARE(nextRow, 1);
        QVERIFY2(failure.contains(said + QStringLiteral("保存先のフォルダ %1 に書き込めませんでした。ディスクの空き容量が足りません。").arg(disk)),
                 qPrintable(failure));
        QVERIFY2(failure.contains(QStringLiteral("保存されたラベルは0枚")), qPrintable(failure));
        QCOMPARE(QDir(disk).entryList(QDir::Files | QDir::Hidden), QStringList());
    }
};

ZL_TEST(TestPdfPrinter)
#include "PdfPrinterTest.moc"
