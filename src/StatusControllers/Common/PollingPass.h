// The device thread: polling passes about once a second over one printer.
// A pass scans the printer's marker files; while the serial number, the model
// or the print queue is not yet known, or while a marker asks for data, it
// opens the printer, learns what is missing, runs the queue step and rewrites
// the information file. When its record is stopped the thread leaves the
// offline information file behind.
#ifndef TQ58_POLLINGPASS_H
#define TQ58_POLLINGPASS_H

#include "DeviceRecord.h"
#include "UsbTransport.h"

// The thread body: passes until rec's stop request, then the offline file.
// Returns 0. Blocks for the life of the printer.
int thread_function(thdata* rec);

// One pass over rec (without its pause). True when the printer is busy: its
// interface is claimed by another program (the backend during a print). The
// information file is then left as it is and the markers stay in place for
// the next pass, which comes after the short busyRetryMs, so that it gets the
// printer as soon as the print is done. Blocks in the printer's exchanges.
bool RunPollingPass(thdata* rec);

// The work of one pass on interface index of the opened printer: serial
// number and model (once), the queue step, the information file. Returns
// kUsbOk, or why the interface could not be opened (kUsbRefused: another
// program holds it). Blocks.
UsbStatus dealWithInterface(UsbDevice* device, int index, thdata* rec);

// The live information file of rec from the printer's answers on intf, which
// the caller holds open (it is used, never opened again). Does nothing for a
// null intf. Blocks in the exchanges and on the file system.
void WriteFile(UsbInterface* intf, thdata* rec);

#endif
