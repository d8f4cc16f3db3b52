#include "datasource/DataFileReading.h"

#include "common/Failure.h"
#include "common/RegularFile.h"
#include "common/SystemErrors.h"
#include "datasource/DataSource.h"

#include <QDir>
#include <QFileInfo>

namespace zl::datasource::detail {

[[noreturn]] void throwScanProblem(const LineScanner &scanner, const QString &name)
{
    if (scanner.problem() == ScanProblem::NulByte)
        throw Failure(QStringLiteral("%1 はテキストファイルではありません（NUL 文字が含まれています）。").arg(name));
    throw Failure(QStringLiteral("%1 の %2 行目で始まる引用符 (\") が閉じられていません。")
                      .arg(name)
                      .arg(scanner.quoteOpenedLine()));
}

[[noreturn]] void throwEmpty(const QString &name)
{
    throw Failure(QStringLiteral("%1 は空です。1行目に列名（ヘッダー）が必要です。").arg(name));
}

void refuseDamagedUtf8(Utf8Audit &audit, const QString &name)
{
    if (const std::optional<StrayByte> stray = audit.finish())
        throw Failure(QStringLiteral("%1 は UTF-8 で書かれていますが、%2 行目に UTF-8 として読めないバイトがあります。"
                                     "ファイルを UTF-8 で保存し直してください。")
                          .arg(name)
                          .arg(stray->line));
}

void openForReading(QFile &file)
{
    const QString name = QDir::toNativeSeparators(file.fileName());
    RegularFile opened(file.fileName(), kDataFileLimit, 4);
    switch (opened.refusal()) {
    case FileRefusal::None:
        if (!file.open(opened.release(), QIODevice::ReadOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle))
            throw Failure(QStringLiteral("ファイル %1 を開けません: %2").arg(name, fileProblemText(file)));
        return;
    case FileRefusal::Missing:
        throw Failure(QStringLiteral("ファイル %1 が見つかりません。").arg(name));
    case FileRefusal::NotRegular:
        if (QFileInfo(file.fileName()).isDir())
            throw Failure(QStringLiteral("%1 はフォルダです。データファイルを指定してください。").arg(name));
        throw Failure(QStringLiteral("%1 は普通のファイルではありません（装置やパイプなど）。データファイルには CSV ファイルを指定してください。")
                          .arg(name));
    case FileRefusal::TooLarge:
        throw Failure(QStringLiteral("ファイル %1 は大きすぎます（%2 を超えています）。ファイルを分けてください。")
                          .arg(name, sizeText(kDataFileLimit)));
    case FileRefusal::System:
        break;
    }
    if (problemFromErrno(opened.error()) == SystemProblem::NoPermission)
        throw Failure(QStringLiteral("ファイル %1 を読み込む権限がありません。").arg(name));
    throw Failure(QStringLiteral("ファイル %1 を開けません: %2").arg(name, errnoProblemText(opened.error())));
}

[[noreturn]] void throwReadError(const QFile &file)
{
    throw Failure(
        QStringLiteral("ファイル %1 を読み込めません: %2").arg(QDir::toNativeSeparators(file.fileName()), fileProblemText(file)));
}

} // namespace zl::datasource::detail
