#pragma once
// The logic of the printer and paper selection screen (Form7) and of the
// printer connection-type screen (Form17): the paper list of the current
// printer and the two ways they rewrite the layout table.
#include "printer/Printer.h"
#include "printer/PrinterNews.h"

#include <QObject>
#include <QString>
#include <optional>
#include <QStringList>

namespace zl::printer {

// "code<TAB>W x H", the sizes in whole millimetres (twips / 56.7, rounded).
QString paperEntry(int code, int widthTwips, int heightTwips);

// The papers the printer accepts with codes 1..1024, ascending, and their
// codes at the same positions. A null printer has none. The printer's own
// paper size is not touched: the whole list comes from one question.
// A paper the printer lists twice (the same size under two names) is one
// entry: the one in force, else the first listed.
struct PaperChoices {
    QStringList entries;
    QStringList codes;
    QStringList names; // what people call each paper ("A4", "2.00x1.25\""), same positions
    // What the list shows, same positions: the name, the size in whole
    // millimetres where the name is not that size, the code
    // ("A4\t210 x 297 mm\t9").
    QStringList rows;
};

// What people call a paper: the printer's own name for it, or its size in
// millimetres when whole ("50 x 30 mm"), else in inches ("2.00x1.25\"")
// where the name is a keyword (a driverless queue's "50x30mm.Borderless",
// IPP's "om_50x30-label_50x30mm", "w144h72", a custom size "Custom.40x30mm")
// or, on a label printer, an envelope's: CUPS names any size within half a
// millimetre of a standard one after it, so 4 x 6.5 inch label stock becomes
// "EnvPRC1". A standard name with a variant ("A4.Borderless") is the
// standard name.
QString readablePaperName(const PaperInfo &paper, bool labelPrinter = false);
// Whether most of a printer's papers are its own stock, not standard papers.
bool listsLabelStock(const QList<PaperInfo> &papers);
PaperChoices paperChoices(const Printer *printer);

// The one row of vokiconfig4.txt.
struct LayoutRow {
    QString title1;
    QString title2;
    QString yoshi;
    QString printer;
};
// Throws zl::Failure when the table cannot be read.
LayoutRow readLayoutRow();

// The page the next run's labels are drawn on, for a preview: with the
// fixed connection type the page of the stored paper, which the run takes
// when the current printer lists it (the printer's paper is left as it is
// until then); on a label sheet, one position of the sheet. Nothing when
// there is no printer.
std::optional<PageGeometry> pageInForce();
// How the next run puts the layout on its labels, for a preview: the stored
// choice, fitted when it cannot be read (the run will say why).
LabelScale labelScaleInForce();

// The printer and paper the next run takes, for the screens to show:
// "プリンター: Labels　用紙: 2.00x1.00\"（51 x 25 mm）", and the label sheet
// when there is one. With the variable connection type the run asks; the
// text says so and names the printer now current. What the printer's notice
// says (a raw queue, the built-in printer standing in), why what it offers
// is not known (the printing system did not answer) and why a run would be
// refused follow. Takes the stored paper as pageInForce does. Read without
// waiting (the windows' thread), it is 「プリンター: 確認しています…」 while the
// printing system has not told its default, and a queue not heard from yet
// has 「確認しています…」 for its paper.
QString printerInForceText();

// Why the next run cannot print on the printer in force, as known now and
// read without waiting: no printer is known to be the operator's (the
// printing system did not tell its default), or the printer did not answer
// when last asked. Empty when nothing is known to stand in the way. The
// printer line says the same, and a run says it before its rows are read.
QString unusablePrinterProblem();

// Form7's save: empty titles and paper become "_", PRINTER is kept as held.
void savePaperChoice(const LayoutRow &row);

// The connection type a stored PRINTER value stands for. A number other than
// 0 is the variable type, 0 the fixed one; an empty or non-numeric value is
// taken as the fixed type and `readable` is set to false.
bool isVariableConnection(const QString &printerValue, bool *readable = nullptr);

// Form17's save. Fixed type: titles, YOSHI as read, "0". Variable type:
// titles, "999", "1". Values are written as held (no "_" rule here).
void saveConnectionType(const LayoutRow &asRead, bool variable);

} // namespace zl::printer
