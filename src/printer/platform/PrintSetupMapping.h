#pragma once
// Carrying the print-setup records to a QPrinter for the system print dialog
// and the operator's answer back into the records.
#include "printer/DeviceRecords.h"

class QPrinter;

namespace zl::printer {

// Selects the records' printer (only when it is installed: Qt would quietly
// pick another queue for an unknown name) and its paper, orientation,
// colour and duplex.
void configureFromRecords(QPrinter &printer, const PrintSetupRecords &records);

// Writes what the dialog left in the printer into the records: the chosen
// queue into the names record and dmDeviceName, its paper as a paper code of
// that queue (256 with width and length for a size the queue does not list).
//
// Accepting the dialog puts the queue's default paper back when the operator
// did not open the paper settings; when the queue is unchanged and the
// dialog reports exactly that default, the paper handed in is kept.
void readBackIntoRecords(const QPrinter &printer, PrintSetupRecords &records);

} // namespace zl::printer
