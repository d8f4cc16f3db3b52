#include "settings/ColumnCaptions.h"

#include <QHash>

namespace zl::settings {

QString columnCaption(const QString &column)
{
    static const QHash<QString, QString> captions{
        {QStringLiteral("DB1"), QStringLiteral("接続CSV(ﾌｧｲﾙﾊﾟｽ)")},
        {QStringLiteral("DB2"), QStringLiteral("データテーブル名")},
        {QStringLiteral("TITLE1"), QStringLiteral("タイトル1")},
        {QStringLiteral("TITLE2"), QStringLiteral("タイトル2")},
        {QStringLiteral("YOSHI"), QStringLiteral("用紙サイズ")},
        {QStringLiteral("PRINTER"), QStringLiteral("プリンター接続タイプ")},
        {QStringLiteral("SIZE1"), QStringLiteral("横　位置調整")},
        {QStringLiteral("SIZE2"), QStringLiteral("縦　位置調整")},
        {QStringLiteral("SIZE3"), QStringLiteral("フォントサイズ")},
    };
    const QString caption = captions.value(column.toUpper());
    return caption.isEmpty() ? QStringLiteral("設定の項目「%1」").arg(column) : QStringLiteral("「%1」").arg(caption);
}

} // namespace zl::settings
