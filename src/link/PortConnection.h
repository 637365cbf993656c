#pragma once

#include "params/ParameterValues.h"
#include "platform/core/PortErrors.h"

#include <QString>

namespace qt2xx {

class CommPort;
class MessageBox;
class TransmitWindow;
struct PortFailure;

inline const QString kCommNoUseMessage = QStringLiteral("This Comm is no use,please try others!");
inline const QString kCommOccupiedMessage = QStringLiteral("This Comm is occupied,please try others!");

// Opening and closing the port for a transmission run, with the operator's messages.
class PortConnection {
public:
    PortConnection(CommPort& port, TransmitWindow& window, MessageBox& messages, ParameterValues& values);

    // Captures the 26 parameters, then opens the port the port box chooses. True when the port is
    // open. A blank parameter, an unusable and an occupied port are told in a message box; every
    // other failure is silent.
    bool start();
    // Closes the port if it is open. The parameter lists are not looked at.
    void stop();

private:
    bool captureParameters();
    PortError openChosenPort();
    void reportOpenFailure(PortError code);

    CommPort& m_port;
    TransmitWindow& m_window;
    MessageBox& m_messages;
    ParameterValues& m_values;
};

// The second paragraph of a port message box: the device tried, the reason, and a remedy if any.
QString PortFailureDetail(const PortFailure& failure);

} // namespace qt2xx
