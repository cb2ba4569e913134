// External-device (DV camcorder transport) constants used with
// IAMExtTransport. Shared by both platforms: the Windows SDK headers that
// ship with mingw-w64 lack the signal-format values, so each is defined here
// unless a system header already did.
#pragma once

#ifndef ED_BASE
#define ED_BASE 0x1000L
#endif
#ifndef ED_TRANSBASIC_INPUT_SIGNAL
#define ED_TRANSBASIC_INPUT_SIGNAL 5036L
#endif
#ifndef ED_TRANSBASIC_OUTPUT_SIGNAL
#define ED_TRANSBASIC_OUTPUT_SIGNAL 5037L
#endif
#ifndef ED_TRANSBASIC_SIGNAL_525_60_SD
#define ED_TRANSBASIC_SIGNAL_525_60_SD 5038L   // NTSC
#endif
#ifndef ED_TRANSBASIC_SIGNAL_525_60_SDL
#define ED_TRANSBASIC_SIGNAL_525_60_SDL 5039L  // NTSC long play
#endif
#ifndef ED_TRANSBASIC_SIGNAL_625_50_SD
#define ED_TRANSBASIC_SIGNAL_625_50_SD 5040L   // PAL
#endif
#ifndef ED_TRANSBASIC_SIGNAL_625_50_SDL
#define ED_TRANSBASIC_SIGNAL_625_50_SDL 5041L  // PAL long play
#endif
#ifndef ED_TRANSBASIC_SIGNAL_MPEG2TS
#define ED_TRANSBASIC_SIGNAL_MPEG2TS 5042L
#endif
#ifndef ED_TRANSBASIC_SIGNAL_625_60_HD
#define ED_TRANSBASIC_SIGNAL_625_60_HD 5043L
#endif
#ifndef ED_TRANSBASIC_SIGNAL_625_50_HD
#define ED_TRANSBASIC_SIGNAL_625_50_HD 5044L
#endif
#ifndef ED_TRANSBASIC_SIGNAL_UNKNOWN
#define ED_TRANSBASIC_SIGNAL_UNKNOWN 5086L
#endif
