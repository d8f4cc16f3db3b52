#pragma once
// The two print runs: continuous (every record up to the remaining-label
// counter) and partial (a range of row numbers). The loop and its counters
// live here; what a run touches outside itself (settings, data file,
// barcode, renderer, printer module) comes through RunServices, so the same
// run serves the print screens, the command line and the tests.
#include "common/Failure.h"

#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

namespace zl::printing {

// The first four columns of a record, by position.
struct RunRecord {
    QString columns[4];
};

class RecordReader {
public:
    virtual ~RecordReader() = default;
    // The next record, or nothing past the last one. Throws on a broken
    // file and when a record has fewer than four columns.
    virtual std::optional<RunRecord> next() = 0;
};

struct LayoutChoice {
    QString printer; // PRINTER: "1" is the variable connection type
    QString paper;   // YOSHI
};

class RunServices {
public:
    virtual ~RunServices() = default;
    virtual LayoutChoice readLayout() = 0;
    // The printer module, used with the variable connection type only.
    virtual void restorePrinterSettings() = 0;
    virtual bool showPrinterSetup() = 0;
    virtual void savePrinterSettings() = 0;
    // Reads the data-source table and opens the data file.
    virtual std::unique_ptr<RecordReader> openDataSource() = 0;
    // Puts the record into the label fields and makes its barcode. Returns
    // the reason when no barcode could be made (the label then has none).
    virtual std::optional<QString> prepareLabel(const RunRecord &record) = 0;
    // Draws and sends one label; throws on printer or number errors.
    virtual void printLabel() = 0;
    // Fixed connection type: the paper chosen for it (YOSHI), taken by the
    // current printer when it lists it.
    virtual void useFixedPaper(const QString &) {}
    // After the last label: throws when the printing system stopped or
    // aborted one of the labels sent.
    virtual void finishPrinting() {}
    // Run status texts for the screen.
    virtual void setStatus(const QString &) {}
    virtual void setPaper(const QString &) {}
};

enum class RunOutcome {
    Declined,         // the print-setup dialog was cancelled: nothing printed
    Finished,         // past the last record: the end message, the screen closes
    StoppedAtCounter, // the remaining-label counter reached 0
    CapExhausted,     // the record cap counter went below zero
};

struct RowWithoutBarcode {
    int row = 0;
    QString value;
    QString reason;
};

struct RunResult {
    RunOutcome outcome = RunOutcome::Finished;
    int printed = 0;
    QList<RowWithoutBarcode> withoutBarcode;
};

inline const QString kStatusPrinting = QStringLiteral("※ただ今印刷処理中!!");
inline const QString kStatusFinished = QStringLiteral("※印刷処理終了!!");
inline const QString kEndMessage = QStringLiteral("印刷終了。ﾃﾞｰﾀﾍﾞｰｽと接続解除しました。");
inline const QString kEndTitle = QStringLiteral("処理終了");
inline const QString kRunErrorPrefix = QStringLiteral("印刷設定又はDB設定が不正です。設定しなおしてください Error_Message:");
constexpr int kLabelsPerOpening = 300;

// The end message, naming the rows that were printed without a barcode.
QString endMessage(const QList<RowWithoutBarcode> &rows);

// A continuous run. capCounter is the screen's record cap counter (300 when
// the screen opens), lowered by one per record; remaining is the
// remaining-label counter the progress window's cancel sets to 1.
RunResult runContinuous(RunServices &services, int &capCounter, int &remaining);

// A partial run over rows first..last (compared as numbers; empty or
// non-numeric bounds fail at the first record, as typed texts).
RunResult runPartial(RunServices &services, int capCounter, int &remaining, const QString &first,
                     const QString &last);

} // namespace zl::printing
