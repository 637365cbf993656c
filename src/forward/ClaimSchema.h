#pragma once

#include <QStringList>

// The server's side of plant-wide claims: the claims table, the functions that grant, renew, take
// back and release claims in one statement each, and the trigger that ends a claim when its unit's
// record arrives. A claim is the right of one station to make one unit of an order: a unit is
// named by its serial when the order has serials, and by the run and unit number its record will
// carry in every case.
namespace qt2xx::claim_schema {

// The verdicts the server's functions answer with, as the client reads them.
inline constexpr char kGranted[] = "granted";
inline constexpr char kTakenBack[] = "taken-back"; // the station's own claim, held before it restarted
inline constexpr char kHeld[] = "held";            // another station holds a live claim on the serial
inline constexpr char kFinished[] = "finished";    // the serial has a finished record
inline constexpr char kComplete[] = "complete";    // finished units and live claims reach the quantity
inline constexpr char kDiffers[] = "differs";      // the order is not the one the server registered
inline constexpr char kAgreed[] = "agreed";        // the order is the one the server registered

// The order columns an order check compares, in the order it compares them.
inline constexpr char kSerialPattern[] = "serial_pattern";

// What the server needs for claims, each statement harmless when run again; after the orders table
// and the records table exist, before the views that count claims.
QStringList ServerStatements();

} // namespace qt2xx::claim_schema
