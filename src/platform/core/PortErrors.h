#pragma once

namespace qt2xx {

// Every error code the serial port layer and the port connection report. Only kPortUnusable and
// kPortOccupied have a message box; every other failure ends a start silently.
enum PortError : int {
    kPortOk = 0,
    kPortNumberTooLarge = 8001, // the port box number does not fit a 16-bit signed integer
    kPortUnusable = 8002,       // no device for the number, the device is missing, permission denied,
                                // or it is no serial device (a folder, not a terminal, an I/O error)
    kPortOccupied = 8005,       // another program holds the device (its lock file, or the device is busy)
    kPortAlreadyOpen = 8006,    // open asked of a port that is already open
    kPortNotOpen = 8012,        // a write or read on a closed port
    kPortWriteFailed = 8013,    // the device refused or lost a write
    kPortDeviceLost = 8014,     // the device vanished or failed while open
    kPortOpenFailed = 8019,     // any other failure to open
};

} // namespace qt2xx
