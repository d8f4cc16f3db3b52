#pragma once
// Carrying the print-setup records to a QPrinter for the system print dialog
// and the operator's answer back into the records.
#include "printer/DeviceRecords.h"

#include <QMap>

class QPrinter;

namespace zl::printer {

// Selects the records' printer by its exact name (only when it is installed:
// Qt would quietly pick another queue for an unknown name), with its
// orientation, colour and duplex.
void configureFromRecords(QPrinter &printer, const PrintSetupRecords &records);

// What the operator set in the dialog's printer properties (paper and the
// driver's options), when they were opened for the printer finally chosen.
struct PropertiesChoice {
    bool shown = false;
    QMap<QString, QString> driverChoices; // PPD option keyword -> choice, as shown
};

// Writes what the dialog left in the printer into the records: the chosen
// queue (exact name, and in the ANSI records), its paper as a paper code of
// that queue (256 with width and length for a size the queue does not
// list), the resolution and the driver options shown.
//
// Qt puts the queue's default paper back on every accept; so the paper and
// options are read from the properties only when the operator opened them.
// Otherwise the same printer keeps what was handed in (an unchanged OK
// changes nothing) and a newly chosen one brings its own paper in force.
void readBackIntoRecords(const QPrinter &printer, PrintSetupRecords &records, const PropertiesChoice &properties);

// Throws zl::Failure when the printing system does not answer in time, so
// the dialog (which would wait for it for ever) is not shown.
void requireSchedulerAnswering();

} // namespace zl::printer
