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

// Widths of the dark and light runs along one row, from the first dark dot
// to the last, alternating and starting with a dark one.
QList<int> runsAlong(const QImage &image, int row);

// The row of the image with the most dark runs (a row through the bars).
int barRow(const QImage &image);

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
