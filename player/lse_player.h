// LSEPlayer: AAC and LSE files played by the playback object of the
// outside library "aac" (libaac.so in the program's folder, export
// GetLSEPlayer). Without the library the player has no object and those
// files cannot be played.
#pragma once

#include "platform/shared_library.h"
#include "player/player.h"

#include <cstdint>
#include <functional>
#include <string>

class AacPlaybackObject;

namespace lyb {

/// The library's file name inside the program's folder.
inline constexpr const char* kAacLibraryFile = "libaac.so";

class LSEPlayer final : public CPlayer {
public:
    /// `folder`: where the library is looked for (the program's folder).
    explicit LSEPlayer(std::string folder);
    ~LSEPlayer() override;
    LSEPlayer(const LSEPlayer&) = delete;
    LSEPlayer& operator=(const LSEPlayer&) = delete;

    int GetState() override;
    /// Object slot 1, then the library is freed.
    void ReleaseBacking() override;
    int SetPosition(double seconds) override;
    double GetDuration() override;
    double GetPosition() override;
    /// Loads the library and creates the object: 0, -1 when the library is
    /// missing, 257 when it lacks the export or the object cannot play.
    int Init() override;
    int Open(const std::string& path, int index) override;
    int Pause() override;
    int Stop() override;
    int Play() override;

    /// The type of the item being played (256 for LSE tracks).
    void SetItemType(std::uint32_t type) { m_itemType = type; }
    /// Called after stopping an LSE track (the Lockstream object's slot 16).
    void SetLockstreamStop(std::function<void()> hook) { m_lockstreamStop = std::move(hook); }

    bool HasObject() const { return m_object != nullptr; }
    const std::string& Path() const { return m_path; }

private:
    std::string m_folder;
    bool m_stopped = true;
    std::string m_path;
    SharedLibrary m_library;
    int (*m_getLSEPlayer)(AacPlaybackObject**) = nullptr;
    AacPlaybackObject* m_object = nullptr;
    int m_position = 0; ///< the last position set, whole seconds
    int m_state = kStateStopped;
    std::uint32_t m_itemType = 0;
    std::function<void()> m_lockstreamStop;
    int m_volumeListener = 0;
};

} // namespace lyb
