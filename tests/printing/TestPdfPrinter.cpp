#include "PrintingSupport.h"
#include "common/TestEnv.h"
#include "common/TestRegistry.h"

#include "common/Failure.h"
#include "layout/Titles.h"
#include "printer/PdfPrinter.h"

#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace zl::printing;
using zl::printer::PdfPrinter;

namespace {
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
        QVERIFY(printer.setPaperSize(256));
        QVERIFY(printer.setPageWidthTwips(3402));
        QCOMPARE(qRound(printer.pageGeometry().paperMm.width()), 60);
        QList<int> codes;
        for (const auto &paper : printer.papers())
            codes << paper.code;
        QVERIFY(codes.contains(1) && codes.contains(9) && codes.contains(256));
        QVERIFY(std::is_sorted(codes.begin(), codes.end()));
    }

    // One file per document, numbered after the highest one already there.
    void filesKeepTheirOrder()
    {
        QTemporaryDir dir;
        QFile old(dir.filePath(QStringLiteral("label-000007.pdf")));
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.close();
        QFile other(dir.filePath(QStringLiteral("label-notes.pdf")));
        QVERIFY(other.open(QIODevice::WriteOnly));
        other.close();
        PdfPrinter printer(dir.path() + QStringLiteral("/out"));
        printer.setOutputFolder(dir.path());
        printer.printDocument(onePage());
        QCOMPARE(QFileInfo(printer.lastDocumentPath()).fileName(), QStringLiteral("label-000008.pdf"));
        printer.printDocument(onePage() + onePage());
        QCOMPARE(QFileInfo(printer.lastDocumentPath()).fileName(), QStringLiteral("label-000009.pdf"));
        QFile made(printer.lastDocumentPath());
        QVERIFY(made.open(QIODevice::ReadOnly));
        const QByteArray pdf = made.readAll();
        QVERIFY(pdf.startsWith("%PDF"));
        QCOMPARE(pdf.count("/Type /Page\n") + pdf.count("/Type /Page\r") + pdf.count("/Type /Page "), 2);
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

    // A whole label through the program's renderer into a PDF, rasterised
    // by poppler and read back by zbar.
    void labelPdfScans()
    {
        const QString pdftoppm = QStandardPaths::findExecutable(QStringLiteral("pdftoppm"));
        if (pdftoppm.isEmpty())
            QSKIP("pdftoppm (poppler-utils) is not installed");
        QTemporaryDir dir;
        std::vector<std::unique_ptr<zl::printer::Printer>> list;
        list.push_back(std::make_unique<PdfPrinter>(dir.path()));
        auto *pdf = static_cast<PdfPrinter *>(list.front().get());
        zl::printer::installPrinters(std::make_unique<zl::printer::OwnedPrinterCollection>(std::move(list)));
        sharedLabelFields() = zltest::labelFor({QStringLiteral("4901234567894"), QStringLiteral("国産うなぎ蒲焼"),
                                                QStringLiteral("特大 2尾入"), QStringLiteral("1980")});
        PrintLabel();
        QVERIFY(QFile::exists(pdf->lastDocumentPath()));
        for (int dpi : {203, 300}) {
            const QString base = dir.filePath(QStringLiteral("page-%1").arg(dpi));
            QProcess run;
            run.start(pdftoppm, {QStringLiteral("-png"), QStringLiteral("-r"), QString::number(dpi),
                                 QStringLiteral("-singlefile"), pdf->lastDocumentPath(), base});
            QVERIFY(run.waitForFinished(30000));
            QCOMPARE(run.exitCode(), 0);
            const QImage image(base + QStringLiteral(".png"));
            QVERIFY(!image.isNull());
            QVERIFY(qAbs(image.width() - qRound(50 / 25.4 * dpi)) <= 1);
            QCOMPARE(zltest::decodeBarcodes(image), QStringList{QStringLiteral("EAN-13:4901234567894")});
            if (const QByteArray keep = qgetenv("ZENLABO_KEEP_LABEL_PNG"); !keep.isEmpty() && dpi == 300)
                QFile::copy(base + QStringLiteral(".png"), QString::fromLocal8Bit(keep));
        }
    }
};

ZL_TEST(TestPdfPrinter)
#include "TestPdfPrinter.moc"
