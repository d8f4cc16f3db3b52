#include "settings/StorableText.h"

#include "common/Cp932.h"
#include "common/Failure.h"

#include <QList>

namespace zl::settings {

namespace {

QString describeValue(const QString &value)
{
    QString shown = value;
    shown.replace(QLatin1Char('\r'), QStringLiteral("\\r")).replace(QLatin1Char('\n'), QStringLiteral("\\n"));
    if (shown.size() > 40)
        shown = shown.left(40) + QStringLiteral("…");
    return shown;
}

// A character that reads back as another one (CP932 stores ¥ as the
// backslash's byte) would change the printed text without a word.
QString unstorableCharacterProblem(const QString &text, const QString &what)
{
    for (const uint u : text.toUcs4()) {
        const char32_t c = u;
        const QString one = QString::fromUcs4(&c, 1);
        const std::optional<QByteArray> bytes = cp932::encode(one);
        if (!bytes)
            return QStringLiteral("%1「%2」の文字「%3」(U+%4) はShift-JIS(CP932)で保存できません。別の文字に置き換えてください。")
                .arg(what, describeValue(text), one)
                .arg(u, 4, 16, QLatin1Char('0'));
        const QString back = cp932::decodeStrict(*bytes).value_or(QString());
        if (back != one) {
            QString text2 = QStringLiteral("%1「%2」の文字「%3」(U+%4) はShift-JIS(CP932)で保存すると「%5」に変わるため保存できません。")
                                .arg(what, describeValue(text), one)
                                .arg(u, 4, 16, QLatin1Char('0'))
                                .arg(back);
            if (u == 0xA5)
                text2 += QStringLiteral("円記号は全角の「￥」を使ってください。");
            else
                text2 += QStringLiteral("「%1」を使ってください。").arg(back);
            return text2;
        }
    }
    return {};
}

} // namespace

void checkStorable(const QString &text, const QString &what)
{
    if (text.contains(QLatin1Char('"')))
        throw Failure(QStringLiteral("%1「%2」に二重引用符 (\") が含まれているため保存できません。")
                          .arg(what, describeValue(text)));
    if (text.contains(QLatin1Char('\r')) || text.contains(QLatin1Char('\n')))
        throw Failure(QStringLiteral("%1「%2」に改行が含まれているため保存できません。").arg(what, describeValue(text)));
    const QString problem = unstorableCharacterProblem(text, what);
    if (!problem.isEmpty())
        throw Failure(problem);
}

} // namespace zl::settings
