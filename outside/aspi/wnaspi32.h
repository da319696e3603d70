// The ASPI for Win32 request blocks and entry points, as our ASPI manager
// component (libwnaspi32.so) implements them. Byte-packed like the published
// interface; on a 64-bit build the buffer pointer and the event handle take
// 8 bytes, so the execute request is 72 bytes before its sense area.
#pragma once

#include <cstdint>

namespace aspi {

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;

constexpr BYTE SC_HA_INQUIRY = 0x00;
constexpr BYTE SC_GET_DEV_TYPE = 0x01;
constexpr BYTE SC_EXEC_SCSI_CMD = 0x02;

constexpr BYTE SS_PENDING = 0x00;
constexpr BYTE SS_COMP = 0x01;
constexpr BYTE SS_ABORTED = 0x02;
constexpr BYTE SS_ERR = 0x04;
constexpr BYTE SS_INVALID_CMD = 0x80;
constexpr BYTE SS_INVALID_HA = 0x81;
constexpr BYTE SS_NO_DEVICE = 0x82;
constexpr BYTE SS_NO_ADAPTERS = 0xE8;

constexpr BYTE SRB_DIR_IN = 0x08;
constexpr BYTE SRB_DIR_OUT = 0x10;
constexpr BYTE SRB_EVENT_NOTIFY = 0x40;

constexpr BYTE HASTAT_OK = 0x00;
constexpr BYTE HASTAT_SEL_TO = 0x11;
/// Our component's host-adapter status for a command the host does not let
/// this user send (Linux: SG_IO refused it with EPERM). The command never
/// reached the drive, and sending it again gives the same answer.
constexpr BYTE HASTAT_NOT_PERMITTED = 0x30;

constexpr int SENSE_LEN = 14;

#pragma pack(push, 1)
struct SRB_Header {
    BYTE SRB_Cmd;
    BYTE SRB_Status;
    BYTE SRB_HaId;
    BYTE SRB_Flags;
    DWORD SRB_Hdr_Rsvd;
};

struct SRB_HAInquiry {
    BYTE SRB_Cmd;
    BYTE SRB_Status;
    BYTE SRB_HaId;
    BYTE SRB_Flags;
    DWORD SRB_Hdr_Rsvd;
    BYTE HA_Count;
    BYTE HA_SCSI_ID;
    BYTE HA_ManagerId[16];
    BYTE HA_Identifier[16];
    BYTE HA_Unique[16];
    WORD HA_Rsvd1;
};

struct SRB_GDEVBlock {
    BYTE SRB_Cmd;
    BYTE SRB_Status;
    BYTE SRB_HaId;
    BYTE SRB_Flags;
    DWORD SRB_Hdr_Rsvd;
    BYTE SRB_Target;
    BYTE SRB_Lun;
    BYTE SRB_DeviceType;
    BYTE SRB_Rsvd1;
};

struct SRB_ExecSCSICmd {
    BYTE SRB_Cmd;
    BYTE SRB_Status;
    BYTE SRB_HaId;
    BYTE SRB_Flags;
    DWORD SRB_Hdr_Rsvd;
    BYTE SRB_Target;
    BYTE SRB_Lun;
    WORD SRB_Rsvd1;
    DWORD SRB_BufLen;
    BYTE* SRB_BufPointer;
    BYTE SRB_SenseLen;
    BYTE SRB_CDBLen;
    BYTE SRB_HaStat;
    BYTE SRB_TargStat;
    void* SRB_PostProc; ///< with SRB_EVENT_NOTIFY: an eventfd descriptor (as intptr_t) signalled on completion
    BYTE SRB_Rsvd2[20];
    BYTE CDBByte[16];
    BYTE SenseArea[SENSE_LEN + 2];
};

struct ASPI32BUFF {
    BYTE* AB_BufPointer;
    DWORD AB_BufLen;
    DWORD AB_ZeroFill;
    DWORD AB_Reserved;
};
#pragma pack(pop)

static_assert(sizeof(SRB_HAInquiry) == 60);
static_assert(sizeof(SRB_GDEVBlock) == 12);
static_assert(sizeof(SRB_ExecSCSICmd) == 64 + 2 * (sizeof(void*) - 4) + SENSE_LEN + 2);

using SendASPI32CommandFn = DWORD (*)(void* srb);
using GetASPI32SupportInfoFn = DWORD (*)();
using GetASPI32DLLVersionFn = DWORD (*)();
using GetASPI32BufferFn = int (*)(ASPI32BUFF* buffer);
using FreeASPI32BufferFn = int (*)(ASPI32BUFF* buffer);

/// The component's file name in the program's folder.
constexpr const char* kAspiLibraryName = "libwnaspi32.so";

} // namespace aspi
