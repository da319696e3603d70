// ScsiTarget: one SCSI device that takes command blocks (the ASPI manager's
// backend). The Linux backend sends them through SG_IO; the virtual drive
// answers them from a disc image.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace lyb {

class KernelHandle;

enum class ScsiDirection { None, In, Out };

struct ScsiResult {
    bool transportOk = true;      ///< false: the command never reached the target
    /// The host refused the command for this user (Linux: SG_IO with EPERM
    /// for commands outside the kernel's filter, such as vendor reads, or
    /// writing commands on a read-only open). Sending it again cannot help.
    bool notPermitted = false;
    std::uint8_t targetStatus = 0; ///< 0 good, 2 check condition, 8 busy, 0x18 reservation conflict
    std::uint8_t sense[18] = {};   ///< fixed-format sense data when targetStatus is 2
    std::size_t transferred = 0;

    std::uint8_t SenseKey() const { return sense[2] & 0x0F; }
};

class ScsiTarget {
public:
    virtual ~ScsiTarget() = default;
    /// Runs one command; `data` holds dataLength bytes for In/Out transfers.
    virtual ScsiResult Execute(const std::uint8_t* cdb, std::size_t cdbLength, ScsiDirection direction,
                               std::uint8_t* data, std::size_t dataLength) = 0;
};

/// Fills fixed-format sense data (response code 0x70) and sets check condition.
void SetCheckCondition(ScsiResult& result, std::uint8_t key, std::uint8_t asc, std::uint8_t ascq);

/// SG_IO on a Linux SCSI generic or CD-ROM node; null when it cannot be opened.
std::unique_ptr<ScsiTarget> OpenSgTarget(const std::string& node, int* error = nullptr);

/// One command through SG_IO on an opened node (30 s timeout).
ScsiResult SgExecute(KernelHandle& handle, const std::uint8_t* cdb, std::size_t cdbLength, ScsiDirection direction,
                     std::uint8_t* data, std::size_t dataLength);

} // namespace lyb
