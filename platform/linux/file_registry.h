// Hives kept as text files, one per hive, in one folder:
//   machine.reg (HKEY_LOCAL_MACHINE), user.reg (HKEY_CURRENT_USER),
//   classes.reg (HKEY_CLASSES_ROOT), in the text form of FormatHive.
//
// A change takes the hive's lock file (<hive>.lock, flock), re-reads the
// file, applies the change and replaces the file by rename of a synced
// temporary copy: a crash leaves the old or the new hive, never a torn one,
// and two processes writing at once keep each other's values. Readers take
// no lock (rename is atomic) and reuse the parsed hive while the file is
// unchanged. Lines the parser does not understand are written back as they
// were; a file that is no hive at all is first kept as "<hive>.reg.bad".
#pragma once

#include "platform/registry.h"

#include <optional>

namespace lyb {

class FileRegistryStore final : public RegistryStore {
public:
    /// `machineWritable`: unset means "writable when the file (or, before it
    /// exists, the folder) may be written by this process".
    explicit FileRegistryStore(std::string folder, std::optional<bool> machineWritable = std::nullopt);
    ~FileRegistryStore() override;

    RegStatus Read(Hive hive, HiveData& out) override;
    RegStatus Modify(Hive hive, const std::function<bool(HiveData&)>& change) override;
    bool Writable(Hive hive) const override;

    const std::string& Folder() const { return m_folder; }
    std::string FileOf(Hive hive) const;

    /// The machine hive is this file instead, read only: the machine-wide
    /// values a system package ships beside the program.
    void SetMachineFile(std::string path) { m_machineFile = std::move(path); }

private:
    struct Cache;
    std::string m_folder;
    std::string m_machineFile;
    std::optional<bool> m_machineWritable;
    std::unique_ptr<Cache> m_cache;
};

/// The registry folder: $LYB30_REGISTRY_DIR, else $XDG_CONFIG_HOME/lyrabox,
/// else $HOME/.config/lyrabox.
std::string DefaultRegistryFolder();

/// The name of the machine-wide values a system package installs in the
/// program's folder.
inline constexpr const char* kPackagedMachineHive = "machine.reg";

/// The program's registry on DefaultRegistryFolder(). The machine hive is
/// read-only when LYB30_MACHINE_READONLY is "1", else as the file allows.
/// A program installed by a system package (a "machine.reg" in its own
/// folder) reads its machine hive from there, read only.
std::shared_ptr<Registry> OpenDefaultRegistry();

} // namespace lyb
