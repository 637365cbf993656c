#include "link/PortConnection.h"

#include "link/PortBox.h"
#include "link/TransmitWindow.h"
#include "platform/core/CommPort.h"
#include "platform/core/MessageBox.h"

namespace qt2xx {

PortConnection::PortConnection(CommPort& port, TransmitWindow& window, MessageBox& messages,
                               ParameterValues& values)
    : m_port(port), m_window(window), m_messages(messages), m_values(values) {}

bool PortConnection::start() {
    if (!captureParameters())
        return false;
    const PortError code = openChosenPort();
    if (code == kPortOk)
        return true;
    reportOpenFailure(code);
    return false;
}

void PortConnection::stop() {
    if (m_port.isPortOpen())
        m_port.close();
}

bool PortConnection::captureParameters() {
    const auto blank = CaptureParameterValues(m_values, [this](int i) { return m_window.comboText(i); });
    if (!blank)
        return true;
    m_messages.show(kBlankParameterMessage);
    return false;
}

PortError PortConnection::openChosenPort() {
    const PortBoxChoice choice = ReadPortBox(m_window.portBoxText());
    if (choice.error != kPortOk)
        return choice.error;
    if (choice.devicePath.isEmpty())
        m_port.setCommPort(choice.number);
    else
        m_port.setDevicePath(choice.devicePath);
    return m_port.open();
}

void PortConnection::reportOpenFailure(PortError code) {
    if (code == kPortUnusable)
        m_messages.show(kCommNoUseMessage, PortFailureDetail(m_port.lastFailure()));
    else if (code == kPortOccupied)
        m_messages.show(kCommOccupiedMessage, PortFailureDetail(m_port.lastFailure()));
}

QString PortFailureDetail(const PortFailure& failure) {
    QString detail = failure.device.isEmpty()
                         ? QStringLiteral("The %1.").arg(failure.reason)
                         : QStringLiteral("Device %1: %2.").arg(failure.device, failure.reason);
    if (!failure.remedy.isEmpty())
        detail += QLatin1Char('\n') + failure.remedy;
    return detail;
}

} // namespace qt2xx
