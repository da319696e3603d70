// The ASPI extraction engine: one worker thread rips the selected tracks one
// after the other, probing at the start of each track which read command the
// drive understands, 27 frames per command.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "cd/aspi_manager.h"
#include "cd/extraction_sink.h"
#include "platform/message_target.h"

namespace lyb {

struct AspiRipJob {
    int device = 0;                  ///< ASPI device index
    std::vector<int> tracks;         ///< track numbers, in list order
    std::uint32_t lastTrackFrames = 0; ///< length of the disc's last track as the page lists it
};

/// The progress texts: "Estimated time :" + " mm:ss" and "Speed:" + " xNN".
std::string AspiEstimatedText(std::uint32_t totalFrames, std::uint32_t doneFrames, std::int64_t elapsedMs,
                              const std::string& label = "Estimated time :");
std::string AspiSpeedText(std::uint32_t doneFrames, std::int64_t elapsedMs, const std::string& label = "Speed:");

class CAspiExtraction {
public:
    CAspiExtraction(CAspiManager& aspi, CExtractionSink& sink, CExtractionProgress* progress, MessageTarget* owner);
    ~CAspiExtraction();

    /// Refuses when ASPI is not ready, an extraction runs or the medium check fails.
    bool StartAspiExtraction(AspiRipJob job);
    /// The Cancel button: sets the stop request while running.
    void Cancel();
    void Wait();
    bool Running() const { return m_running.load(); }

    /// Optional medium check before starting (the page's CD audio status).
    void SetMediumCheck(std::function<bool()> check) { m_mediumCheck = std::move(check); }

    enum class TrackResult { Done, Skipped, Failed, Cancelled, NotReady };
    /// Outcome of each track of the last run (for the page and tests).
    const std::vector<std::pair<int, TrackResult>>& Results() const { return m_results; }

private:
    void Worker();
    TrackResult RipTrack(int track);
    bool ApplyProbe(int entry);

    CAspiManager& m_aspi;
    CExtractionSink& m_sink;
    CExtractionProgress* m_progress;
    MessageTarget* m_owner;
    std::function<bool()> m_mediumCheck;
    AspiRipJob m_job;
    std::thread m_thread;
    std::atomic<bool> m_running{false};
    std::atomic<bool> m_stopRequest{false};
    std::vector<std::pair<int, TrackResult>> m_results;
    std::set<std::uint8_t> m_denied; ///< read opcodes the host refused for this user

    std::uint8_t m_cmd[12] = {};
    std::uint8_t m_cmdLength = 12;
    int m_probeIndex = 0;
    unsigned m_flags = 0;
};

} // namespace lyb
