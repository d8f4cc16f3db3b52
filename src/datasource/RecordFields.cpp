#include "datasource/RecordFields.h"

#include <cstring>

namespace zl::datasource::detail {

void splitRecord(const QByteArray &bytes, qint64 start, int maxFields, std::vector<FieldSpan> &out)
{
    out.clear();
    const char *data = bytes.constData();
    const qint64 size = bytes.size();
    qint64 pos = start;
    while (maxFields < 0 || int(out.size()) < maxFields) {
        const qint64 begin = pos;
        bool quoted = false;
        if (pos < size && data[pos] == '"') {
            quoted = true;
            ++pos;
            // The scanner has already made sure every quoted field closes.
            for (;;) {
                const void *q = std::memchr(data + pos, '"', size_t(size - pos));
                if (!q) {
                    pos = size;
                    break;
                }
                pos = static_cast<const char *>(q) - data + 1;
                if (pos < size && data[pos] == '"')
                    ++pos;
                else
                    break;
            }
        }
        while (pos < size && data[pos] != ',' && data[pos] != '\n' && data[pos] != '\r')
            ++pos;
        out.push_back({begin, pos, quoted});
        if (pos < size && data[pos] == ',')
            ++pos;
        else
            break;
    }
}

QByteArray unquote(const char *p, qsizetype size)
{
    QByteArray out;
    out.reserve(size);
    bool inQuote = false;
    qsizetype closedAt = -2;
    for (qsizetype i = 0; i < size; ++i) {
        const char c = p[i];
        if (c != '"') {
            out.append(c);
        } else if (!inQuote && (i == 0 || i == closedAt + 1)) {
            // Opening quote, or the second half of a doubled one.
            if (i > 0)
                out.append('"');
            inQuote = true;
        } else if (inQuote) {
            inQuote = false;
            closedAt = i;
        } else {
            out.append(c);
        }
    }
    return out;
}

} // namespace zl::datasource::detail
