#include "settings/TableTokenizer.h"

namespace zl::settings {

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

} // namespace

QList<QByteArray> tableLines(const QByteArray &bytes, int maxLines)
{
    QList<QByteArray> lines;
    qsizetype start = 0;
    while ((maxLines < 0 || lines.size() < maxLines) && start < bytes.size()) {
        qsizetype end = start;
        while (end < bytes.size() && bytes[end] != '\r' && bytes[end] != '\n')
            ++end;
        lines << bytes.mid(start, end - start);
        if (end < bytes.size() && bytes[end] == '\r')
            ++end;
        if (end < bytes.size() && bytes[end] == '\n')
            ++end;
        start = end;
    }
    return lines;
}

QList<TableField> tableFields(const QByteArray &line)
{
    QList<TableField> fields;
    const qsizetype n = line.size();
    qsizetype i = 0;
    for (;;) {
        const qsizetype start = i;
        while (i < n && isBlank(line[i]))
            ++i;
        QByteArray value;
        if (i < n && line[i] == '"') {
            for (++i; i < n; ++i) {
                if (line[i] != '"') {
                    value += line[i];
                } else if (i + 1 < n && line[i + 1] == '"') {
                    value += '"';
                    ++i;
                } else {
                    ++i;
                    break;
                }
            }
            while (i < n && line[i] != ',')
                ++i;
        } else {
            const qsizetype begin = i;
            while (i < n && line[i] != ',')
                ++i;
            qsizetype end = i;
            while (end > begin && isBlank(line[end - 1]))
                --end;
            value = line.mid(begin, end - begin);
        }
        fields << TableField{line.mid(start, i - start), value};
        if (i >= n)
            return fields;
        ++i; // the comma
    }
}

} // namespace zl::settings
