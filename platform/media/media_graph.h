// A media graph: one file rendered into the audio output, driven like a
// filter graph (render, run, pause, stop, state, events, position, duration).
//
// The GStreamer backend builds a playbin per graph and is polled only: no
// main loop and no callback ever runs the caller's code, so a graph may be
// driven from the user-interface thread alone. Times are seconds.
//
// The audio sink is "autoaudiosink" unless the environment variable
// LYB30_AUDIO_SINK names another sink description (for example
// "fakesink sync=true": tests and machines without sound keep real-time
// playback without a device).
#pragma once

#include <functional>
#include <memory>
#include <string>

namespace lyb {

enum class GraphState { Stopped, Paused, Running, Failed };

/// What GetEvent found on the graph's bus.
enum class GraphEvent {
    None,     ///< nothing within the timeout
    Complete, ///< the stream ended
    Error,    ///< decoding or output failed; the graph cannot go on
};

class MediaGraph {
public:
    virtual ~MediaGraph() = default;

    /// Builds the graph for `path` and prerolls it (paused, first audio at
    /// the sink). False when the file cannot be opened or has no audio a
    /// decoder of this machine understands.
    virtual bool RenderFile(const std::string& path) = 0;
    /// Starts playing. 0: running; 1: the change is still going on (poll
    /// GetState); -1: failed.
    virtual int Run() = 0;
    /// Pauses; false when the graph refuses.
    virtual bool Pause() = 0;
    /// Stops and drops the stream (the graph can be rendered again).
    virtual void Stop() = 0;
    /// The graph's state, waiting up to `timeoutMs` for a change in progress
    /// to finish; `settled` (may be null) tells whether it finished.
    virtual GraphState GetState(int timeoutMs, bool* settled) = 0;
    /// The next end-of-stream or error event, waiting up to `timeoutMs`.
    virtual GraphEvent GetEvent(int timeoutMs) = 0;
    /// Length of the stream; false when unknown.
    virtual bool Duration(double& seconds) = 0;
    /// Playing position; false when unknown.
    virtual bool Position(double& seconds) = 0;
    /// Moves to `seconds` (clamped to the stream); false when refused.
    virtual bool SetPosition(double seconds) = 0;
    /// Output volume, 0.0 (silent) to 1.0 (full).
    virtual void SetVolume(double linear) = 0;

    /// Called from a streaming thread when an audio buffer reaches the sink
    /// for the first time after RenderFile (benchmarks measure start-up with
    /// it). Set before RenderFile; must be thread-safe.
    virtual void OnFirstBuffer(std::function<void()> callback) = 0;
};

/// A new GStreamer graph; null when GStreamer cannot be initialised or has
/// no playbin (the plugins-base package is missing).
std::unique_ptr<MediaGraph> CreateMediaGraph();

/// The sink description in use (LYB30_AUDIO_SINK or "autoaudiosink").
std::string AudioSinkDescription();

} // namespace lyb
