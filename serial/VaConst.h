#pragma once
// Message texts of the serial component. "%d" takes the error number, "%s" the system's text
// (or, where the text says so, the device path).

namespace vaconst {

inline constexpr const char* sPortOpen = "Can't perform this operation while port is open";
inline constexpr const char* sDeviceNotFound = "Specified device not found (%s).";
inline constexpr const char* sCantOpenDevice = "Can't open specified device %s";
inline constexpr const char* sNoDevice = "No device to open the port on";
inline constexpr const char* sErrorSuffix = " (Error %d, %s)";
inline constexpr const char* sWriteDcb = "Error writing dcb (%d), %s";
inline constexpr const char* sInitBuffers = "Error initializing buffers (%d), %s";
inline constexpr const char* sSetTimeouts = "Error setting timeouts (%d), %s";
inline constexpr const char* sSetEventMask = " Error setting EventMask (%d), %s";
inline constexpr const char* sClearBuffers = "Error clearing buffers (%d), %s";
inline constexpr const char* sComStat = "Error retrieving statistics (%d), %s";
inline constexpr const char* sReadError = "Read error (%d), %s";
inline constexpr const char* sWriteError = "Write error (%d), %s";
inline constexpr const char* sStartThread = "Error starting thread (%d), %s";
inline constexpr const char* sOutputFull = "Output buffer is full. Please check comm status.";
inline constexpr const char* sBadDeviceName =
    "Invalid device name \"%s\": it may hold at most one integer placeholder";

inline constexpr const char* sVersionText = "1.3.8.0";
inline constexpr unsigned kVersionNumber = 0x01030800;

} // namespace vaconst
