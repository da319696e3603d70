// What the music library needs from the application: which track formats
// are accepted, the playback engine's length queries, the prompt for
// questions and messages, and the interface texts.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

namespace lyb {

class CLocalize;
class Prompt;

/// The application's three format switches (LSE off, AAC and MP3 on at
/// construction). They decide which track types enter the Studio.
struct FormatEnabled {
    bool lse = false;
    bool aac = true;
    bool mp3 = true;

    /// True for type 256 with LSE on, 2 with MP3 on, 128 with AAC on.
    bool Accepts(uint32_t itemType) const;
};

/// The playback engine's length queries. The engine proper lives elsewhere;
/// the library only needs these two questions and the switch that allows
/// them (turned off while the Studio loads, so loading never waits).
/// Implementations must be callable from any thread; the library calls them
/// from probe threads one at a time (see ProbeDuration).
class LengthQueryEngine {
  public:
    virtual ~LengthQueryEngine() = default;
    /// Length of an MP3 file in seconds. False when it cannot be measured.
    virtual bool Mp3LengthSeconds(const std::string& path, double& seconds) = 0;
    /// Length of an AAC file in milliseconds. False when it cannot be measured.
    virtual bool AacLengthMilliseconds(const std::string& path, double& milliseconds) = 0;

    /// The switch consulted by GetMediaInfo (not by ProbeDuration).
    void SetLengthQueriesEnabled(bool on) { m_enabled.store(on); }
    bool LengthQueriesEnabled() const { return m_enabled.load(); }

  private:
    std::atomic<bool> m_enabled{true};
};

/// Everything the library's operations take from their caller. Pointers are
/// borrowed and may be null: no engine means no length queries, no prompt
/// means questions are answered with their first button (OK) and messages are
/// dropped, no localiser means the English texts.
struct LibraryContext {
    FormatEnabled formats;
    LengthQueryEngine* engine = nullptr;
    Prompt* prompt = nullptr;
    const CLocalize* localize = nullptr;

    /// The interface text `id`, or `english` when there is no localiser.
    std::string Text(int id, std::string_view english) const;
};

} // namespace lyb
