#pragma once
// Bit values shared by the component and the device layer: line events, line errors, purge
// requests.
#include <cstdint>

inline constexpr uint32_t EV_RXCHAR = 0x0001;
inline constexpr uint32_t EV_RXFLAG = 0x0002;
inline constexpr uint32_t EV_TXEMPTY = 0x0004;
inline constexpr uint32_t EV_CTS = 0x0008;
inline constexpr uint32_t EV_DSR = 0x0010;
inline constexpr uint32_t EV_RLSD = 0x0020;
inline constexpr uint32_t EV_BREAK = 0x0040;
inline constexpr uint32_t EV_ERR = 0x0080;
inline constexpr uint32_t EV_RING = 0x0100;
inline constexpr uint32_t EV_PERR = 0x0200;
inline constexpr uint32_t EV_RX80FULL = 0x0400;
inline constexpr uint32_t EV_EVENT1 = 0x0800;
inline constexpr uint32_t EV_EVENT2 = 0x1000;

inline constexpr uint32_t CE_RXOVER = 0x0001;    // input buffer overrun (driver lost bytes)
inline constexpr uint32_t CE_OVERRUN = 0x0002;   // hardware overrun
inline constexpr uint32_t CE_RXPARITY = 0x0004;  // parity error
inline constexpr uint32_t CE_FRAME = 0x0008;     // framing error
inline constexpr uint32_t CE_BREAK = 0x0010;     // break received

inline constexpr uint32_t PURGE_TXABORT = 0x0001;
inline constexpr uint32_t PURGE_RXABORT = 0x0002;
inline constexpr uint32_t PURGE_TXCLEAR = 0x0004;
inline constexpr uint32_t PURGE_RXCLEAR = 0x0008;
