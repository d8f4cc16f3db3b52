#pragma once
// What a label printer is sent, read back: the ZPL graphic that CUPS' Zebra
// driver (rastertolabel) makes from the raster, decoded to dots, and the
// jobs of a test queue as its backend stored them.
#include <QImage>
#include <QList>
#include <QMap>
#include <QStringList>

namespace zltest {

// The ~DG graphic of a ZPL job as a 1-bit image, one pixel a printer dot
// (black where the head heats). Null when the job holds no such graphic.
QImage decodeZplGraphic(const QByteArray &job);

// The other label languages CUPS' stock label driver speaks, and the raster
// a driverless printer is sent, each decoded to one image a page (label),
// one pixel a printer dot, black where the head heats:
//   EPL2 page mode: "GW0,y,bytes,1" rows, inverted bits;
//   DYMO: ESC D bytes a row, SYN + row, ESC f 1 n for n blank rows, ESC E ends a label;
//   PCL (Intellitech): ESC *r#S width, ESC *b#W rows in delta-row mode 3,
//   ESC *b#Y blank rows, a form feed ends a label;
//   PWG or CUPS raster, read with CUPS' own raster reader.
// Rows the device is not sent (blank ones after the last mark) are not in
// the image; widths are whole bytes.
QList<QImage> decodeEplGraphics(const QByteArray &job);
QList<QImage> decodeDymoLabels(const QByteArray &job);
QList<QImage> decodePclLabels(const QByteArray &job);
QList<QImage> decodeRasterPages(const QByteArray &job);
// By format name: "zpl", "epl", "dymo", "pcl" or "pwg".
QList<QImage> decodeLabels(const QString &format, const QByteArray &job);

// Widths of the dark and light runs along one row, from the first dark dot
// to the last, alternating and starting with a dark one.
QList<int> runsAlong(const QImage &image, int row);

// The row of the image with the most dark runs (a row through the bars).
int barRow(const QImage &image);

// The modules of one row through the bars: each bar k modules less the
// reduction, each space k modules plus it, k from 1 to 4, the same number
// of dots a module throughout. Empty when that holds, else what is wrong.
QString moduleFault(const QList<int> &runs, int modules);

// job-<id>.prn files of a queue's output folder, in job order.
QStringList jobFiles(const QString &folder);

// Waits (up to timeoutMs) until the folder holds `count` jobs after the
// `before` ones; returns the new ones.
QStringList waitForJobs(const QString &folder, int before, int count, int timeoutMs = 90000);

// The attributes CUPS keeps for a job, as "name" -> value text; with
// jobId 0, those of the newest job of `queue`. `server` is a socket path or
// host:port.
QMap<QString, QString> jobAttributes(const QString &server, int jobId, const QString &queue = QString());

// The job id of a job-<id>.prn file.
int jobIdOf(const QString &file);

} // namespace zltest
