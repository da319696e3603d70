// Sizes and codes shared by the analysis and the coding half of the encoder.
#ifndef TESSEL_CORE_PSYCONST_H
#define TESSEL_CORE_PSYCONST_H

inline constexpr int PSY_MAX_CHANNELS = 6;
inline constexpr int PSY_MAX_ELEMENTS = 8;
inline constexpr int FRAME_LEN_LONG = 1024;   // spectral lines of a long block
inline constexpr int FRAME_LEN_SHORT = 128;   // spectral lines of one short window
inline constexpr int TRANS_FAC = 8;           // short windows per frame
inline constexpr int MAX_SFB_LONG = 51;       // most scalefactor bands of a long block (32000 Hz)
inline constexpr int MAX_SFB_SHORT = 15;      // most scalefactor bands of a short window
inline constexpr int MAX_GROUPED_SFB = 120;   // MAX_SFB_SHORT x TRANS_FAC >= MAX_SFB_LONG
inline constexpr int MAX_GROUPS = 8;
inline constexpr int TNS_MAX_ORDER = 12;      // 12 long, 7 short
inline constexpr int TNS_MAX_ORDER_SHORT = 7;

// Window sequences with their bitstream values.
enum WindowSequence { ONLY_LONG = 0, LONG_START = 1, EIGHT_SHORT = 2, LONG_STOP = 3 };
// Window shapes with their bitstream values.
enum WindowShape { SINE_WINDOW = 0, KBD_WINDOW = 1 };

// Syntactic element types with their bitstream ids.
enum ElementType { ID_SCE = 0, ID_CPE = 1, ID_CCE = 2, ID_LFE = 3 };

// Tool flags of an element (same bits as the parameter-set flags).
inline constexpr int TOOL_MS = 0x2;
inline constexpr int TOOL_TNS = 0x4;

#endif
