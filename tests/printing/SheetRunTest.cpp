// Whole runs on a label sheet to the built-in PDF printer, through the
// program's own run with a progress window double: a cancel, a failing row
// and the 300-label limit each leave the sheets and the first free position
// as an operator would expect.
#include "PdfPages.h"
#include "PrintingSupport.h"
#include "TestEnv.h"
#include "TestRegistry.h"

#include "common/Failure.h"
#include "printer/SheetChoice.h"
#include "printing/ProgramRun.h"
#include "settings/SettingsTable.h"

#include <QDir>
#include <QTest>

using namespace zl;

Q_DECLARE_METATYPE(QList<QList<int>>)

class SheetRunTest : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { printing::setProgressViewFactory({}); }

    void runsOnASheet_data()
    {
        QTest::addColumn<QString>("sheet");
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("records");
        QTest::addColumn<int>("cancelAt");    // the label the operator cancels (0: none)
        QTest::addColumn<int>("badPriceRow"); // a row whose price is no number (0: none)
        QTest::addColumn<QList<QList<int>>>("inked"); // the positions with a label, page by page
        QTest::addColumn<int>("next");
        auto range = [](int from, int to) {
            QList<int> r;
            for (int n = from; n <= to; ++n)
                r << n;
            return r;
        };
        QTest::newRow("cancel at the 3rd label: its position stays empty")
            << "A4-12" << 1 << 5 << 3 << 0 << QList<QList<int>>{{1, 2}} << 3;
        QTest::newRow("cancel at the 1st label: no sheet at all") << "A4-12" << 4 << 5 << 1 << 0 << QList<QList<int>>{} << 4;
        QTest::newRow("a price that is no number in row 6: the five before are kept")
            << "A4-12" << 9 << 10 << 0 << 6 << QList<QList<int>>{range(9, 12), {1}} << 2;
        QList<QList<int>> cap(6, range(1, 44));
        cap << range(1, 36);
        QTest::newRow("310 rows: the 300-label limit") << "A4-44" << 1 << 310 << 0 << 0 << cap << 37;
    }

    void runsOnASheet()
    {
        QFETCH(QString, sheet);
        QFETCH(int, start);
        QFETCH(int, records);
        QFETCH(int, cancelAt);
        QFETCH(int, badPriceRow);
        QFETCH(QList<QList<int>>, inked);
        QFETCH(int, next);

        zltest::TempHome home;
        home.installDefaults();
        QString text = QStringLiteral("JAN,名,規格,価格\r\n");
        for (int i = 1; i <= records; ++i)
            text += QStringLiteral("4987654%1,品%2,箱,%3\r\n")
                        .arg(i, 5, 10, QLatin1Char('0'))
                        .arg(i)
                        .arg(i == badPriceRow ? QStringLiteral("時価") : QStringLiteral("100"));
        home.writeFile(QStringLiteral("items.csv"), zltest::sjis(text));
        home.writeTable(settings::kDataSourceTable, settings::dataSourceColumns(),
                        {home.settingsFolder(), QStringLiteral("items.csv")});
        printer::saveSheetChoice({sheet, start});
        std::vector<std::unique_ptr<printer::Printer>> list;
        list.push_back(std::make_unique<printer::PdfPrinter>(home.root() + QStringLiteral("/pdf")));
        auto *pdf = static_cast<printer::PdfPrinter *>(list.front().get());
        printer::installPrinters(std::make_unique<printer::OwnedPrinterCollection>(std::move(list)));
        // One window for the run; each label starts by clearing its text.
        printing::setProgressViewFactory([cancelAt](printing::LabelFields &fields) {
            auto view = std::make_unique<zltest::ProgressDouble>();
            view->onEvents = [&fields, v = view.get(), cancelAt] {
                if (cancelAt && v->texts.count(QString()) == cancelAt)
                    fields.cancelRequested = true;
            };
            return view;
        });

        printing::loadAdjustmentsIntoLabelFields();
        printing::ProgramRunServices services({});
        int cap = printing::kLabelsPerOpening;
        QString failure;
        try {
            printing::runContinuous(services, cap, printing::sharedLabelFields().remainingLabels);
        } catch (const Failure &f) {
            failure = f.description();
        }
        QCOMPARE(failure.isEmpty(), badPriceRow == 0);
        QCOMPARE(printer::currentPrinter(), pdf); // the sheet no longer stands in front
        QCOMPARE(printer::readSheetChoice().start, next);
        const QString path = pdf->lastDocumentPath();
        QCOMPARE(path.isEmpty(), inked.isEmpty());
        if (inked.isEmpty())
            return;
        if (!failure.isEmpty())
            QVERIFY2(failure.contains(QDir::toNativeSeparators(path)), qPrintable(failure));
        const printer::SheetTemplate &t = *printer::findSheet(sheet);
        const QList<QImage> pages = zltest::pdfPageImages(path, 50);
        QCOMPARE(pages.size(), inked.size());
        for (int p = 0; p < pages.size(); ++p) {
            QList<int> found;
            for (int n = 1; n <= t.positions(); ++n)
                if (hasInk(pages[p], t.positionRect(n).adjusted(1, 1, -1, -1), 50))
                    found << n;
            QCOMPARE(found, inked[p]);
        }
    }

private:
    static bool hasInk(const QImage &page, const QRectF &mm, int dpi)
    {
        const double k = dpi / 25.4;
        const QRect area = QRectF(mm.topLeft() * k, mm.size() * k).toRect().intersected(page.rect());
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = area.left(); x <= area.right(); ++x)
                if (qGray(page.pixel(x, y)) < 128)
                    return true;
        return false;
    }
};

ZL_TEST(SheetRunTest)
#include "SheetRunTest.moc"
