#include "app/CommandLine.h"

#include "common/Failure.h"

namespace zl::app {

QString usageText()
{
    return QStringLiteral(
        "使い方: zenlabo [--print [--from 行 --to 行] [--printer プリンター名] [--sheet シート|none]\n"
        "                 [--sheet-start 位置] [--fit | --actual-size] [--verbose]]\n"
        "        zenlabo --print-calibration [--printer プリンター名] [--sheet シート|none] [--fit | --actual-size]\n"
        "        zenlabo --calibrate 左端 上端\n"
        "        zenlabo --list-sheets | --help | --version\n"
        "  引数なし     画面を開きます (--print, --help, --version のどれもないときも画面を開きます)。\n"
        "  --print      保存された設定でデータファイルのラベルを印刷します (1回に300枚まで)。\n"
        "  --from/--to  印刷する行の範囲 (1行目がデータの最初の行)。両方を指定します。\n"
        "               301行目以降も指定できます。1回に印刷するのは300枚までです。\n"
        "  --printer    印刷するプリンター (インストール済みの名前)。省略時は通常使うプリンター。\n"
        "  --sheet      ラベルシートに並べて印刷します。シートは ID (A4-12, A4-24, A4-44) か\n"
        "               「メーカー 品番」(\"Hisago ELM011\", \"Avery 5160\"。大文字小文字は区別しません)。\n"
        "               none は1ページ1枚。\n"
        "               省略時は保存されたシートの設定 (vokiconfig6.txt) に従います。\n"
        "  --sheet-start 最初のシートで使う最初の位置 (左上が1、左から右、上から下)。\n"
        "               省略時は保存された次の空き位置。\n"
        "  --fit        ラベルの大きさに合わせて拡大・縮小して印刷します (縦長のラベルには90度回して)。\n"
        "  --actual-size 50 x 30 mm より大きいラベルにも原寸でラベルの左上に印刷します。\n"
        "               どちらも省略時はプリンター設定の画面の「原寸で印刷」に従います。\n"
        "  --print-calibration 調整用ラベル (目盛り付き) を、保存された印刷位置調整でラベルと同じように印刷します。\n"
        "               シートでは新しいシート1枚のすべての位置に印刷します。\n"
        "  --calibrate  調整用ラベルで読んだ用紙の左端と上端の目盛り (mm, 0.1 mm 単位) を印刷位置調整に足して保存します。\n"
        "               正の値で印刷が右へ・下へ動きます。調整が -20 から 20 を外れるときは何も保存しません。\n"
        "  --verbose    1枚ごとに標準エラーへ1行出力します。\n"
        "  --list-sheets 使えるラベルシートを1行に1枚表示します (タブ区切り: ID, メーカー, 品番, 用紙,\n"
        "               ラベルの大きさ mm, 面数, 説明)。\n"
        "  --help       この説明を表示します。\n"
        "  --version    バージョンを表示します。\n"
        "印刷はラベルがプリンターから出終わるまで続きます。枚数は実際に印刷されたラベルの数です。\n"
        "Ctrl-C (SIGINT/SIGTERM) で止めると、まだ印刷されていないラベルはプリンターで取り消します。\n"
        "終了ステータス:\n"
        "  0  最後まで印刷しました\n"
        "  1  印刷が失敗したか中断されました (印刷した枚数と続きの行を表示します。数値でない価格は印刷前にすべての行を表示します)\n"
        "  2  指定したプリンターがありません\n"
        "  3  1回の上限 (300枚) で止まりました (続きの行を表示します)\n"
        "  4  設定ファイルがないか壊れています (何も印刷しません。画面で起動すると初期化できます)\n"
        "  5  データまたは指定の範囲に印刷する行がありません (何も印刷しません)\n"
        "  6  このラベル用紙ではバーコードが読み取れないため印刷しません (何も印刷しません)\n"
        "  64 引数が正しくありません\n");
}

bool wantsCommandLine(const QStringList &arguments)
{
    for (int i = 1; i < arguments.size(); ++i)
        if (arguments[i] == QStringLiteral("--print") || arguments[i] == QStringLiteral("--help")
            || arguments[i] == QStringLiteral("--version") || arguments[i] == QStringLiteral("--print-calibration")
            || arguments[i] == QStringLiteral("--calibrate") || arguments[i] == QStringLiteral("--list-sheets"))
            return true;
    return false;
}

PrintRequest parseCommandLine(const QStringList &arguments)
{
    PrintRequest r;
    auto fail = [](const QString &why) { throw Failure(why + QLatin1Char('\n') + usageText()); };
    for (int i = 1; i < arguments.size(); ++i) {
        const QString &a = arguments[i];
        auto value = [&]() -> QString {
            if (i + 1 >= arguments.size())
                fail(QStringLiteral("%1 の後に値がありません。").arg(a));
            return arguments[++i];
        };
        if (a == QStringLiteral("--print"))
            r.print = true;
        else if (a == QStringLiteral("--print-calibration"))
            r.printCalibration = true;
        else if (a == QStringLiteral("--calibrate")) {
            const QString x = value();
            r.calibrate = std::pair(x, value());
        }
        else if (a == QStringLiteral("--from"))
            r.from = value();
        else if (a == QStringLiteral("--to"))
            r.to = value();
        else if (a == QStringLiteral("--printer"))
            r.printer = value();
        else if (a == QStringLiteral("--sheet")) {
            const QString id = value().trimmed();
            r.sheet = id.compare(QStringLiteral("none"), Qt::CaseInsensitive) == 0 ? QString() : id;
        } else if (a == QStringLiteral("--sheet-start")) {
            const QString text = value();
            bool ok = false;
            r.sheetStart = text.trimmed().toInt(&ok);
            if (!ok || *r.sheetStart < 1)
                fail(QStringLiteral("--sheet-start「%1」は1以上の整数で指定してください（左上の位置が1です）。").arg(text));
        } else if (a == QStringLiteral("--fit") || a == QStringLiteral("--actual-size")) {
            const bool fit = a == QStringLiteral("--fit");
            if (r.fit && *r.fit != fit)
                fail(QStringLiteral("--fit と --actual-size はどちらか一方だけ指定してください。"));
            r.fit = fit;
        } else if (a == QStringLiteral("--verbose"))
            r.verbose = true;
        else if (a == QStringLiteral("--help") || a == QStringLiteral("-h"))
            r.help = true;
        else if (a == QStringLiteral("--version"))
            r.version = true;
        else if (a == QStringLiteral("--list-sheets"))
            r.listSheets = true;
        else
            fail(QStringLiteral("不明な引数です: %1").arg(a));
    }
    if (r.calibrate && (r.print || r.printCalibration || r.from || r.printer || r.sheet || r.sheetStart || r.fit || r.verbose))
        fail(QStringLiteral("--calibrate は左端と上端の2つの値だけと指定します。"));
    if (r.printCalibration && (r.print || r.from || r.to || r.sheetStart))
        fail(QStringLiteral("--print-calibration と一緒に指定できるのは --printer, --sheet, --fit, --actual-size, --verbose です。"));
    if (!r.print && !r.printCalibration && (r.from || r.to || r.printer || r.verbose || r.sheet || r.sheetStart))
        fail(QStringLiteral("--from, --to, --printer, --sheet, --sheet-start, --verbose は --print と一緒に指定します。"));
    if (r.sheetStart && r.sheet && r.sheet->isEmpty())
        fail(QStringLiteral("--sheet none では --sheet-start は使えません。"));
    if (r.from.has_value() != r.to.has_value())
        fail(QStringLiteral("--from と --to は両方指定してください。"));
    int rows[2] = {0, 0};
    int i = 0;
    for (const auto &bound : {r.from, r.to}) {
        bool ok = true;
        if (bound)
            rows[i] = bound->trimmed().toInt(&ok);
        if (!ok)
            fail(QStringLiteral("行番号「%1」は数値ではありません。").arg(*bound));
        if (bound && rows[i] < 1)
            fail(QStringLiteral("行番号「%1」は1以上の整数で指定してください（1行目がデータの最初の行です）。").arg(*bound));
        ++i;
    }
    // A range the wrong way round would print nothing and look like success.
    if (r.from && rows[0] > rows[1])
        fail(QStringLiteral("--from %1 が --to %2 より後ろの行です。--from には小さいほうの行番号を指定してください。")
                 .arg(rows[0])
                 .arg(rows[1]));
    return r;
}

} // namespace zl::app
