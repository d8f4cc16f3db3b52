#pragma once
// The label fields: one record's values as the print runs fill them and the
// label renderer reads them. All record values stay texts.
#include "label/Barcode.h"

#include <QLocale>
#include <QString>
#include <optional>

namespace zl::label {

struct LabelFields {
    QString barcodeValue;  // the record's first column
    QString secondText;    // second column
    QString thirdText;     // third column
    QString price;         // fourth column, printed in currency format
    // The text the barcode digits are printed from: the encoded digits when
    // the barcode was made, the value as it stands when not.
    QString digitsSource;
    // This record's barcode; empty when none could be made, never another
    // record's.
    BarcodePicture barcode;
    // Print adjustments as decimal texts ("0", "1.5", "-2"): millimetres
    // right and down, points larger.
    QString adjustX = QStringLiteral("0");
    QString adjustY = QStringLiteral("0");
    QString adjustS = QStringLiteral("0");

    // Fills the record's texts from its first four columns (missing ones are
    // empty; the JAN without the blanks around it) and makes its barcode. Returns the reason when no barcode could
    // be made (the picture is then empty), or an empty text.
    QString setRecord(const QStringList &columns);
};

// A JAN column's value without the spaces, tabs and full-width spaces around it.
QString janValue(const QString &column);

// A price as a Japanese operator writes it: "1200", "-5", "1200.5",
// full-width digits ("１２００"), a leading ¥ or ￥ (or the backslash a
// Shift-JIS file shows as ¥), commas grouping the digits in threes ("1,200").
// Nothing for any other text, and for amounts of kPriceLimit or more, which
// no label prints as written (a double keeps 15 digits; the label fits fewer).
std::optional<double> priceValue(const QString &text);
constexpr double kPriceLimit = 1e12;

// Why a price cannot be printed, naming it; empty when it can.
QString priceProblem(const QString &text);

// The columns a label takes from a record: barcode, two texts, price.
constexpr int kRecordColumns = 4;

// Why a record's values cannot be taken as they stand: a value past the
// columns (the header's named ones, at least the label's four). A "," left
// unquoted has split a value and moved the ones after it, so what would
// print is misread. `values` are all of the record's values; empty values
// past the columns (a spreadsheet's trailing ",,") are no value. Empty when
// there is no such value.
QString strayValuesProblem(const QStringList &values, int namedColumns);

// Everything that keeps a record from printing as it stands, the first
// found: too few values, stray values, a price that is not a number.
QString recordProblem(const QStringList &values, int namedColumns);

// The price in `locale`'s currency format (yen as Japan writes them where the
// locale names none, C/POSIX), negatives with a leading minus ("-￥5").
// Throws zl::Failure naming the value when it is not a price.
QString priceText(const QString &price, const QLocale &locale = QLocale());

// The adjustments the print screens hold for the next run, and the record
// they show; only the windows' thread touches it (a run takes a copy).
LabelFields &sharedLabelFields();

} // namespace zl::label
