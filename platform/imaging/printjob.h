#pragma once
// A print job handed to a CUPS queue and followed until it is printed, fails, or waits its turn
// behind other jobs. Failures raise ezErr::PrintFailed naming the printer and CUPS's reason.
#include <QString>

struct QelPrintJob {
    QString printer;    // CUPS queue
    QString file;       // the document as PDF
    QString title;
    int copies = 1;
    bool duplex = false;
};

// Raises the print failure, naming the printer (when there is one), and logs it.
[[noreturn]] void failPrint(const QString &printer, const QString &what);

// The system's default queue; raises the print failure when there is none, saying why (the print
// service does not answer, no printer at all, no printer made the default).
QString defaultPrinter();

// Submits the job and follows it; returns the CUPS job id.
int submitPrintJob(const QelPrintJob &job);
