#include "TestRegistry.h"

#include "printing/PrintRun.h"
#include "printing/RunReport.h"

#include <QTest>

using namespace zl::printing;

namespace {

// A run's surroundings, scripted: records in memory, a log of what was done.
class ScriptedServices : public RunServices, public PrinterSetupSteps {
public:
    explicit ScriptedServices(int records) : count(records) {}

    class Reader : public RecordReader {
    public:
        Reader(ScriptedServices &s) : s(s) {}
        std::optional<RunRecord> next() override
        {
            if (row >= s.count)
                return std::nullopt;
            ++row;
            RunRecord r;
            r.columns[0] = s.invalidRows.contains(row) ? QStringLiteral("12AB") : QStringLiteral("4912345%1").arg(row, 5, 10, QLatin1Char('0'));
            r.columns[1] = QStringLiteral("row %1").arg(row);
            r.columns[2] = QStringLiteral("x");
            r.columns[3] = QStringLiteral("100");
            return r;
        }
        ScriptedServices &s;
        int row = 0;
    };

    LayoutChoice readLayout() override { return {printerType, QStringLiteral("9")}; }
    void restorePrinterSettings() override { log << QStringLiteral("restore"); }
    bool showPrinterSetup() override
    {
        log << QStringLiteral("dialog");
        return dialogAnswer;
    }
    void savePrinterSettings() override { log << QStringLiteral("save"); }
    void useFixedPaper(const QString &) override { log << QStringLiteral("paper"); }
    bool stopAfterLabel() const override { return stopAt >= 0 && printed.size() >= stopAt; }
    std::unique_ptr<RecordReader> openDataSource(int lastRow) override
    {
        log << QStringLiteral("open");
        openedUpTo = lastRow;
        return std::make_unique<Reader>(*this);
    }
    std::optional<QString> prepareLabel(const RunRecord &record, int) override
    {
        ++prepared;
        current = record.columns[1];
        if (record.columns[0].contains(QLatin1Char('A')))
            return QStringLiteral("数字以外");
        return std::nullopt;
    }
    bool printLabel() override
    {
        log << QStringLiteral("print ") + current;
        printed << current;
        if (failAt == printed.size())
            throw zl::Failure(QStringLiteral("キューが受け付けません"));
        return true;
    }
    void setStatus(const QString &s) override { status = s; }
    LabelsOut finishPrinting(bool) override
    {
        if (silentAtTheEnd)
            throw zl::Failure(out.problem);
        return out;
    }
    std::optional<int> labelsKept() const override { return kept; }
    QString endPrinting(bool) override
    {
        if (kept == 0)
            throw zl::Failure(QStringLiteral("PDFファイルを保存できません。"));
        return {};
    }

    int count;
    LabelsOut out;
    bool silentAtTheEnd = false;
    std::optional<int> kept;
    QString printerType = QStringLiteral("0");
    bool dialogAnswer = true;
    QSet<int> invalidRows;
    int failAt = -1;
    int openedUpTo = -1;
    int prepared = 0;
    int stopAt = -1;
    QString current;
    QString status;
    QStringList log;
    QStringList printed;
};

QStringList rows(int from, int to)
{
    QStringList r;
    for (int i = from; i <= to; ++i)
        r << QStringLiteral("row %1").arg(i);
    return r;
}

} // namespace

class PrintRunTest : public QObject {
    Q_OBJECT
private slots:
    void continuousPrintsEveryRecordThenFinishes()
    {
        ScriptedServices s(3);
        int cap = kLabelsPerOpening, remaining = 0;
        const RunResult r = runContinuous(s, cap, remaining);
        QCOMPARE(r.outcome, RunOutcome::Finished);
        QCOMPARE(s.printed, rows(1, 3));
        QCOMPARE(remaining, 297);
        QCOMPARE(cap, 297);
        QCOMPARE(s.status, kStatusFinished);
        QVERIFY(!s.log.contains(QStringLiteral("dialog")));
    }

    void continuousStopsAtThe300thLabelAndThenPrintsNothing()
    {
        ScriptedServices s(350);
        int cap = kLabelsPerOpening, remaining = 0;
        RunResult r = runContinuous(s, cap, remaining);
        QCOMPARE(r.outcome, RunOutcome::StoppedAtCounter);
        QCOMPARE(s.printed.size(), 300);
        QCOMPARE(s.printed.last(), QStringLiteral("row 300"));
        QCOMPARE(remaining, 0);
        QCOMPARE(s.status, kStatusPrinting); // stays as it was
        s.printed.clear();
        r = runContinuous(s, cap, remaining);
        QCOMPARE(r.outcome, RunOutcome::StoppedAtCounter);
        QVERIFY(s.printed.isEmpty());
    }

    void headerOnlyFinishesAtOnce()
    {
        ScriptedServices s(0);
        int cap = kLabelsPerOpening, remaining = 0;
        QCOMPARE(runContinuous(s, cap, remaining).outcome, RunOutcome::Finished);
        QVERIFY(s.printed.isEmpty());
        QCOMPARE(remaining, 300);
    }

    // The screen closing mid-run: the label being printed is the last.
    void stopAfterLabelEndsAtTheNextRecordAndTheCounterCarriesOn()
    {
        ScriptedServices s(20);
        int cap = kLabelsPerOpening, remaining = 0;
        s.stopAt = 5;
        RunResult r = runContinuous(s, cap, remaining);
        QCOMPARE(r.outcome, RunOutcome::StoppedAtCounter);
        QCOMPARE(s.printed.size(), 5);
        QCOMPARE(r.nextRow, 6);
        QCOMPARE(remaining, 0);
        QCOMPARE(cap, 295);
        s.stopAt = -1;
        s.printed.clear();
        r = runContinuous(s, cap, remaining);
        QCOMPARE(r.outcome, RunOutcome::Finished);
        QCOMPARE(s.printed, rows(1, 20)); // a new run starts at the first record
        QCOMPARE(remaining, 275);
    }

    // Before the run: only PRINTER "1" asks for the printer, once; a
    // declined dialog leaves the run unstarted; the fixed type takes its paper.
    void printerSetUpBeforeTheRun_data()
    {
        QTest::addColumn<QString>("type");
        QTest::addColumn<bool>("answer");
        QTest::addColumn<bool>("ready");
        QTest::addColumn<QStringList>("log");
        const QStringList asked{QStringLiteral("restore"), QStringLiteral("dialog"), QStringLiteral("save")};
        QTest::newRow("variable") << QStringLiteral("1") << true << true << asked;
        QTest::newRow("declined") << QStringLiteral("1") << false << false << asked.mid(0, 2);
        for (const char *fixed : {"0", "2", " 1", ""})
            QTest::newRow(qPrintable(QStringLiteral("fixed '%1'").arg(QLatin1String(fixed))))
                << QString::fromLatin1(fixed) << false << true << QStringList{QStringLiteral("paper")};
    }
    void printerSetUpBeforeTheRun()
    {
        QFETCH(QString, type);
        QFETCH(bool, answer);
        QFETCH(bool, ready);
        QFETCH(QStringList, log);
        ScriptedServices s(2);
        s.dialogAnswer = answer;
        QCOMPARE(setUpRunPrinter(s, {type, QStringLiteral("9")}), ready);
        QCOMPARE(s.log, log);
    }

    void rowsWithoutBarcodeAreNamedInTheEndMessage()
    {
        ScriptedServices s(4);
        s.invalidRows = {2, 4};
        int cap = kLabelsPerOpening, remaining = 0;
        const RunResult r = runContinuous(s, cap, remaining);
        QCOMPARE(s.printed.size(), 4);
        QCOMPARE(r.withoutBarcode.size(), 2);
        QCOMPARE(r.withoutBarcode[0].row, 2);
        const QString msg = endMessage(r.withoutBarcode);
        QVERIFY(msg.startsWith(kEndMessage));
        QVERIFY2(msg.contains(QStringLiteral("2行目「12AB」")) && msg.contains(QStringLiteral("4行目")), qPrintable(msg));
        QCOMPARE(endMessage({}), kEndMessage);
    }

    // Only printed labels count against the 300 a run may print, so any
    // range can be printed; the counter stopping a run inside its range
    // says where to go on.
    void partialPrintsTheRangeAndCountsItsLabels_data()
    {
        QTest::addColumn<int>("records");
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("to");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<int>("outcome");
        QTest::addColumn<int>("remainingAfter");
        QTest::addColumn<int>("nextRow");
        QTest::addColumn<int>("readUpTo"); // the rows the data source is opened for (0: all)
        QTest::newRow("3..5 of 10") << 10 << QStringLiteral("3") << QStringLiteral("5") << rows(3, 5)
                                    << int(RunOutcome::Finished) << 297 << 0 << 5;
        QTest::newRow("1..1") << 10 << QStringLiteral("1") << QStringLiteral("1") << rows(1, 1)
                              << int(RunOutcome::Finished) << 299 << 0 << 1;
        QTest::newRow("290..310 of 400") << 400 << QStringLiteral("290") << QStringLiteral("310") << rows(290, 310)
                                         << int(RunOutcome::Finished) << 279 << 0 << 310;
        QTest::newRow("301..600 of 700") << 700 << QStringLiteral("301") << QStringLiteral("600") << rows(301, 600)
                                         << int(RunOutcome::Finished) << 0 << 0 << 600;
        QTest::newRow("1..400 of 500 stops at 300") << 500 << QStringLiteral("1") << QStringLiteral("400") << rows(1, 300)
                                                    << int(RunOutcome::StoppedAtCounter) << 0 << 301 << 301;
        QTest::newRow("2.5..4 as numbers") << 10 << QStringLiteral("2.5") << QStringLiteral("4") << rows(3, 4)
                                           << int(RunOutcome::Finished) << 298 << 0 << 4;
        QTest::newRow("10 sorts after 9 as text") << 12 << QStringLiteral("9") << QStringLiteral("10") << rows(9, 10)
                                                  << int(RunOutcome::Finished) << 298 << 0 << 10;
        QTest::newRow("8..20 of 10") << 10 << QStringLiteral("8") << QStringLiteral("20") << rows(8, 10)
                                     << int(RunOutcome::Finished) << 297 << 0 << 20;
    }
    void partialPrintsTheRangeAndCountsItsLabels()
    {
        QFETCH(int, records);
        QFETCH(QString, from);
        QFETCH(QString, to);
        QFETCH(QStringList, expected);
        QFETCH(int, outcome);
        QFETCH(int, remainingAfter);
        QFETCH(int, nextRow);
        QFETCH(int, readUpTo);
        ScriptedServices s(records);
        int remaining = 0;
        const RunResult r = runPartial(s, kLabelsPerOpening, remaining, from, to);
        QCOMPARE(s.printed, expected);
        // Only the labels printed are prepared.
        QCOMPARE(s.prepared, int(expected.size()));
        QCOMPARE(s.openedUpTo, readUpTo);
        QCOMPARE(int(r.outcome), outcome);
        QCOMPARE(remaining, remainingAfter);
        QCOMPARE(r.nextRow, nextRow);
        if (nextRow)
            QVERIFY2(stopMessage(r).contains(QStringLiteral("%1行目から").arg(nextRow)), qPrintable(stopMessage(r)));
    }

    // A run that fails partway says how many labels it printed and where to
    // go on, so nothing is printed twice.
    void failurePartwayTellsHowFarItGot_data()
    {
        QTest::addColumn<QString>("from"); // empty: a continuous run
        QTest::addColumn<int>("failAt");   // the label that fails, counted from 1
        QTest::addColumn<int>("printed");
        QTest::addColumn<int>("nextRow");
        QTest::newRow("continuous, 53rd label") << QString() << 53 << 52 << 53;
        QTest::newRow("continuous, first label") << QString() << 1 << 0 << 1;
        QTest::newRow("partial 5..9, 3rd label") << QStringLiteral("5") << 3 << 2 << 7;
        QTest::newRow("partial 5..9, first label") << QStringLiteral("5") << 1 << 0 << 5;
    }
    void failurePartwayTellsHowFarItGot()
    {
        QFETCH(QString, from);
        QFETCH(int, failAt);
        QFETCH(int, printed);
        QFETCH(int, nextRow);
        ScriptedServices s(100);
        s.failAt = failAt;
        int cap = kLabelsPerOpening, remaining = 0;
        try {
            if (from.isEmpty())
                runContinuous(s, cap, remaining);
            else
                runPartial(s, cap, remaining, from, QStringLiteral("9"));
            QFAIL("the run must fail");
        } catch (const RunFailure &f) {
            QCOMPARE(f.printed(), printed);
            QCOMPARE(f.nextRow(), nextRow);
            QVERIFY2(f.cause().startsWith(QStringLiteral("%1行目: キューが受け付けません").arg(nextRow)), qPrintable(f.cause()));
            QVERIFY2(f.description().contains(printed ? QStringLiteral("%1枚").arg(printed) : QStringLiteral("1枚も")),
                     qPrintable(f.description()));
        }
    }

    // A range that names no row of the data is refused before the data
    // is even looked at for labels: nothing prepared, nothing printed.
    void rangesWithoutRowsAreRefusedBeforeTheRun_data()
    {
        QTest::addColumn<int>("records");
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("to");
        QTest::addColumn<QString>("message");
        QTest::newRow("first after last") << 6 << QStringLiteral("5") << QStringLiteral("2") << QStringLiteral("行がありません");
        QTest::newRow("between two rows") << 6 << QStringLiteral("2.2") << QStringLiteral("2.8") << QStringLiteral("行がありません");
        QTest::newRow("past the end") << 250 << QStringLiteral("300") << QStringLiteral("310")
                                      << QStringLiteral("データは250行です");
        QTest::newRow("rows beyond any file") << 10 << QStringLiteral("1e20") << QStringLiteral("1e21")
                                              << QStringLiteral("データは10行です");
        // Empty, and numbers no row can be.
        for (const QString &bad : {QString(), QStringLiteral("inf"), QStringLiteral("nan"), QStringLiteral("1e400")})
            QTest::newRow(qPrintable(QStringLiteral("first row 「%1」").arg(bad)))
                << 3 << bad << QStringLiteral("2") << QStringLiteral("数値ではありません");
    }
    void rangesWithoutRowsAreRefusedBeforeTheRun()
    {
        QFETCH(int, records);
        QFETCH(QString, from);
        QFETCH(QString, to);
        QFETCH(QString, message);
        ScriptedServices s(records);
        int remaining = 0;
        try {
            runPartial(s, kLabelsPerOpening, remaining, from, to);
            QFAIL("a range without rows must be refused");
        } catch (const zl::Failure &f) {
            QVERIFY2(f.description().contains(message), qPrintable(f.description()));
        }
        QVERIFY(s.printed.isEmpty());
        QVERIFY(s.current.isEmpty());
    }

    // The count and the row to go on from come from what came out of the
    // printer: the printer's own failure, the operator's cancel while the
    // printer still works through the labels, a PDF that kept nothing, a
    // print system that only processed labels, and one that printed the
    // job again from its start.
    void countsComeFromWhatCameOut_data()
    {
        // Per label sent: 1 out, 0 not, ? not known; ! for each when the
        // printing system could not be asked at all.
        QTest::addColumn<QString>("out");
        QTest::addColumn<int>("twice");       // the first labels may be out twice
        QTest::addColumn<QString>("problem"); // the printer's reason
        QTest::addColumn<int>("kept");        // -1: the printer keeps what came out
        QTest::addColumn<int>("outcome");     // -1: the run fails
        QTest::addColumn<int>("printed");
        QTest::addColumn<int>("nextRow");
        QTest::addColumn<QString>("rowsSaid"); // the rows named unknown, or twice
        QTest::newRow("all out") << QStringLiteral("11111") << 0 << QString() << -1 << int(RunOutcome::Finished) << 5 << 0
                                 << QString();
        QTest::newRow("printer cancels all") << QStringLiteral("00000") << 0 << QStringLiteral("用紙切れ") << -1 << -1 << 0 << 1
                                             << QString();
        QTest::newRow("jam at the third") << QStringLiteral("11000") << 0 << QStringLiteral("紙詰まり") << -1 << -1 << 2 << 3
                                          << QString();
        QTest::newRow("out of order") << QStringLiteral("10100") << 0 << QStringLiteral("中止") << -1 << -1 << 2 << 2
                                      << QString();
        QTest::newRow("cancel while queued") << QStringLiteral("11100") << 0 << QString() << -1 << int(RunOutcome::Cancelled)
                                             << 3 << 4 << QString();
        QTest::newRow("PDF not kept") << QStringLiteral("11111") << 0 << QString() << 0 << -1 << 0 << 1 << QString();
        // Where the printer cannot tell, only what it knows is counted, and
        // the row to go on from is the first that may not have come out.
        QTest::newRow("print system silent at the end") << QStringLiteral("!!!!!") << 0 << QStringLiteral("CUPSが応答しません")
                                                        << -1 << -1 << 0 << 1 << QStringLiteral("1行目〜5行目");
        QTest::newRow("two counted, the rest not known") << QStringLiteral("11???") << 0 << QStringLiteral("応答しません")
                                                         << -1 << -1 << 2 << 3 << QStringLiteral("3行目〜5行目");
        QTest::newRow("cancel, processed but not known out")
            << QStringLiteral("1??00") << 0 << QString() << -1 << int(RunOutcome::Cancelled) << 1 << 2
            << QStringLiteral("2行目〜3行目");
        QTest::newRow("printed again from the start") << QStringLiteral("11111") << 3 << QString() << -1
                                                      << int(RunOutcome::Finished) << 5 << 0 << QStringLiteral("1行目〜3行目");
    }
    void countsComeFromWhatCameOut()
    {
        QFETCH(QString, out);
        QFETCH(int, twice);
        QFETCH(QString, problem);
        QFETCH(int, kept);
        QFETCH(int, outcome);
        QFETCH(int, printed);
        QFETCH(int, nextRow);
        QFETCH(QString, rowsSaid);
        ScriptedServices s(int(out.size()));
        s.out.known = true;
        for (QChar c : out)
            s.out.fates << (c == QLatin1Char('1') ? zl::LabelFate::Out
                                                  : c == QLatin1Char('0') ? zl::LabelFate::NotOut : zl::LabelFate::Unknown);
        s.out.twice = twice;
        s.out.problem = problem;
        s.silentAtTheEnd = out.startsWith(QLatin1Char('!'));
        const int unknown = int(out.count(QLatin1Char('?')) + out.count(QLatin1Char('!')));
        if (kept >= 0)
            s.kept = kept;
        int cap = kLabelsPerOpening, remaining = 0;
        QString said;
        try {
            const RunResult r = runContinuous(s, cap, remaining);
            QCOMPARE(int(r.outcome), outcome);
            QCOMPARE(r.printed, printed);
            QCOMPARE(r.nextRow, nextRow);
            QCOMPARE(r.unknown, unknown);
            said = runReport(r, true).value_or(QString());
            QCOMPARE(said.contains(QStringLiteral("重複")), twice > 0);
        } catch (const RunFailure &f) {
            QCOMPARE(-1, outcome);
            QCOMPARE(f.printed(), printed);
            QCOMPARE(f.nextRow(), nextRow);
            QCOMPARE(f.unknown(), unknown);
            // Said at the first label not known to be out.
            const int at = nextRow ? nextRow : printed + 1;
            QVERIFY2(f.cause().startsWith(QStringLiteral("%1行目: %2").arg(at).arg(problem)), qPrintable(f.cause()));
            said = f.description();
        }
        QVERIFY2(said.contains(QStringLiteral("分かりません")) == (unknown > 0), qPrintable(said));
        QVERIFY2(rowsSaid.isEmpty() || said.contains(rowsSaid + QStringLiteral("のラベルは")), qPrintable(said));
        // A run is a success only with every label known out.
        QVERIFY(outcome != int(RunOutcome::Finished) || (printed == int(out.size()) && !said.contains(QStringLiteral("キャンセル"))));
    }
};

ZL_TEST(PrintRunTest)
#include "PrintRunTest.moc"
