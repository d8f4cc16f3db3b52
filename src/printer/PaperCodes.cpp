#include "printer/PaperCodes.h"

#include <QHash>
#include <QPageSize>

namespace zl::printer {

namespace {

QHash<QString, int> buildTable()
{
    QHash<QString, int> table;
    // Qt's page-size keys are the PPD keywords, with their Windows numbers.
    for (int i = 0; i < int(QPageSize::LastPageSize); ++i) {
        const auto id = QPageSize::PageSizeId(i);
        const int code = QPageSize::windowsId(id);
        if (id != QPageSize::Custom && code > 0 && code < 256)
            table.insert(QPageSize::key(id), code);
    }
    // Turned sizes, which Qt has no ids for (DMPAPER_*_ROTATED).
    const std::pair<const char *, int> rotated[] = {
        {"LetterRotated", 75}, {"A3Rotated", 76}, {"A4Rotated", 77}, {"A5Rotated", 78}, {"B4Rotated", 79},
        {"B5Rotated", 80}, {"PostcardRotated", 81}, {"DoublePostcardRotated", 82}, {"A6Rotated", 83},
        {"B6Rotated", 89}};
    for (const auto &[key, code] : rotated)
        table.insert(QString::fromLatin1(key), code);
    // PWG self-describing names: class_name_size; the class and name decide.
    const std::pair<const char *, int> pwg[] = {
        {"na_letter", 1}, {"na_legal", 5}, {"na_ledger", 4}, {"na_executive", 7}, {"iso_a3", 8}, {"iso_a4", 9},
        {"iso_a5", 11}, {"jis_b4", 12}, {"jis_b5", 13}, {"iso_b4", 42}, {"iso_b5", 34}, {"jpn_hagaki", 43},
        {"iso_a6", 70}, {"jpn_oufuku", 69}, {"jis_b6", 88}, {"iso_dl", 27}, {"iso_c5", 28}, {"na_number-10", 20}};
    for (const auto &[key, code] : pwg)
        table.insert(QString::fromLatin1(key), code);
    return table;
}

} // namespace

int paperCodeForName(const QString &name)
{
    static const QHash<QString, int> table = buildTable();
    if (const auto it = table.constFind(name); it != table.constEnd())
        return *it;
    // A PWG name: the first two parts, unless it is turned or made up.
    const QStringList parts = name.split(QLatin1Char('_'));
    if (parts.size() == 3 && !name.contains(QLatin1String("custom")))
        return table.value(parts[0] + QLatin1Char('_') + parts[1], 0);
    return 0;
}

} // namespace zl::printer
