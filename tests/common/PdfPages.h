#pragma once
#include <QByteArray>
#include <QImage>
#include <QList>
#include <QString>

namespace zltest {

// Pages of a PDF as poppler reads it (pdfinfo), or -1 when poppler finds no
// valid PDF there; -2 when poppler-utils is not installed.
int pdfPageCount(const QString &path);

// Every page's size in millimetres, rounded, as poppler reads it.
QList<QSize> pdfPageSizesMm(const QString &path);

// Every page of a PDF rasterised by poppler (pdftoppm) at `dpi`; empty when
// it cannot be read.
QList<QImage> pdfPageImages(const QString &path, int dpi);

// The text of a PDF as pdftotext reads it, every run of blanks made one
// space; a null string when it cannot be read.
QString pdfText(const QString &path);

// Each page's content stream as drawn (inflated), read from the file's
// own objects; empty when a page's stream cannot be found.
QList<QByteArray> pdfPageContents(const QByteArray &pdf);

} // namespace zltest
