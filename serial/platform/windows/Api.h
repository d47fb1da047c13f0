#pragma once
// <windows.h> without its macros for the line-event, line-error and purge bits: the device
// layer has the same values as typed constants (LineEvents.h), which the macros would break.
#include <windows.h>

#undef EV_RXCHAR
#undef EV_RXFLAG
#undef EV_TXEMPTY
#undef EV_CTS
#undef EV_DSR
#undef EV_RLSD
#undef EV_BREAK
#undef EV_ERR
#undef EV_RING
#undef EV_PERR
#undef EV_RX80FULL
#undef EV_EVENT1
#undef EV_EVENT2
#undef CE_RXOVER
#undef CE_OVERRUN
#undef CE_RXPARITY
#undef CE_FRAME
#undef CE_BREAK
#undef PURGE_TXABORT
#undef PURGE_RXABORT
#undef PURGE_TXCLEAR
#undef PURGE_RXCLEAR

#include "serial/platform/LineEvents.h"
