#pragma once

namespace qt2xx {

// The wire protocol: the handshake request and the controller's three answers. Between the handshake
// and the answers goes the frame (params/FrameEncoder.h).
inline constexpr char kHandshakeRequest[] = "8";
inline constexpr char kHandshakeByte = kHandshakeRequest[0];
inline constexpr char kReadyByte = 0x55;    // "U": a controller is there and waits for its frame
inline constexpr char kAcceptedByte = 0x51; // "Q": the frame is accepted
inline constexpr char kStoredByte = 0x52;   // "R": the frame is stored

} // namespace qt2xx
