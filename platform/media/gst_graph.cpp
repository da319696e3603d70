// The GStreamer backend of MediaGraph: one playbin per graph, audio only,
// polled through its bus.
#include "platform/media/media_graph.h"
#include "platform/media/gst_init.h"

#include "platform/trace.h"

#include <gst/gst.h>

#include <atomic>
#include <cstdlib>
#include <mutex>

namespace lyb {

namespace {

// playbin's "flags": audio only, with its own volume element (so one
// stream's volume never touches another program's).
constexpr int kPlayFlagAudio = 0x02;
constexpr int kPlayFlagSoftVolume = 0x10;

// How long rendering may take to preroll a file (a slow disk, a network
// folder); beyond it the file counts as not renderable.
constexpr GstClockTime kPrerollTimeout = 10 * GST_SECOND;

GraphState StateOf(GstState s) {
    switch (s) {
    case GST_STATE_PLAYING: return GraphState::Running;
    case GST_STATE_PAUSED: return GraphState::Paused;
    default: return GraphState::Stopped;
    }
}

class GstGraph final : public MediaGraph {
public:
    GstGraph() = default;
    ~GstGraph() override { Teardown(); }
    GstGraph(const GstGraph&) = delete;
    GstGraph& operator=(const GstGraph&) = delete;

    bool RenderFile(const std::string& path) override {
        Teardown();
        if (!Build())
            return false;
        GError* error = nullptr;
        gchar* uri = gst_filename_to_uri(path.c_str(), &error);
        if (!uri) {
            TraceFormat("Media graph: no URI for %s: %s", path.c_str(), error ? error->message : "?");
            g_clear_error(&error);
            Teardown();
            return false;
        }
        g_object_set(m_playbin, "uri", uri, nullptr);
        g_free(uri);

        GstStateChangeReturn r = gst_element_set_state(m_playbin, GST_STATE_PAUSED);
        if (r == GST_STATE_CHANGE_ASYNC)
            r = gst_element_get_state(m_playbin, nullptr, nullptr, kPrerollTimeout);
        if (r == GST_STATE_CHANGE_FAILURE || r == GST_STATE_CHANGE_ASYNC) {
            TraceBusError(path);
            Teardown();
            return false;
        }
        gint audioStreams = 0;
        g_object_get(m_playbin, "n-audio", &audioStreams, nullptr);
        if (audioStreams <= 0) {
            TraceFormat("Media graph: %s has no audio stream", path.c_str());
            Teardown();
            return false;
        }
        return true;
    }

    int Run() override {
        if (!m_playbin)
            return -1;
        switch (gst_element_set_state(m_playbin, GST_STATE_PLAYING)) {
        case GST_STATE_CHANGE_FAILURE: return -1;
        case GST_STATE_CHANGE_ASYNC: return 1;
        default: return 0;
        }
    }

    bool Pause() override {
        return m_playbin &&
               gst_element_set_state(m_playbin, GST_STATE_PAUSED) != GST_STATE_CHANGE_FAILURE;
    }

    void Stop() override {
        if (m_playbin)
            gst_element_set_state(m_playbin, GST_STATE_NULL);
    }

    GraphState GetState(int timeoutMs, bool* settled) override {
        if (settled)
            *settled = true;
        if (!m_playbin)
            return GraphState::Stopped;
        GstState current = GST_STATE_NULL;
        GstState pending = GST_STATE_VOID_PENDING;
        const GstStateChangeReturn r = gst_element_get_state(
            m_playbin, &current, &pending, static_cast<GstClockTime>(timeoutMs) * GST_MSECOND);
        if (r == GST_STATE_CHANGE_FAILURE)
            return GraphState::Failed;
        if (r == GST_STATE_CHANGE_ASYNC) {
            if (settled)
                *settled = false;
            // A change in progress reports the state it is heading for.
            return StateOf(pending != GST_STATE_VOID_PENDING ? pending : current);
        }
        return StateOf(current);
    }

    GraphEvent GetEvent(int timeoutMs) override {
        if (!m_playbin)
            return GraphEvent::None;
        GstBus* bus = gst_element_get_bus(m_playbin);
        GstMessage* msg = gst_bus_timed_pop_filtered(
            bus, static_cast<GstClockTime>(timeoutMs) * GST_MSECOND,
            static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
        gst_object_unref(bus);
        if (!msg)
            return GraphEvent::None;
        GraphEvent event = GraphEvent::Complete;
        if (GST_MESSAGE_TYPE(msg) == GST_MESSAGE_ERROR) {
            GError* error = nullptr;
            gst_message_parse_error(msg, &error, nullptr);
            TraceFormat("Media graph error: %s", error ? error->message : "?");
            g_clear_error(&error);
            event = GraphEvent::Error;
        }
        gst_message_unref(msg);
        return event;
    }

    bool Duration(double& seconds) override {
        gint64 d = 0;
        if (!m_playbin || !gst_element_query_duration(m_playbin, GST_FORMAT_TIME, &d) || d < 0)
            return false;
        seconds = static_cast<double>(d) / GST_SECOND;
        return true;
    }

    bool Position(double& seconds) override {
        gint64 p = 0;
        if (!m_playbin || !gst_element_query_position(m_playbin, GST_FORMAT_TIME, &p) || p < 0)
            return false;
        seconds = static_cast<double>(p) / GST_SECOND;
        return true;
    }

    bool SetPosition(double seconds) override {
        if (!m_playbin)
            return false;
        if (seconds < 0)
            seconds = 0;
        double length = 0;
        if (Duration(length) && seconds > length)
            seconds = length;
        const auto at = static_cast<gint64>(seconds * GST_SECOND);
        return gst_element_seek_simple(
            m_playbin, GST_FORMAT_TIME,
            static_cast<GstSeekFlags>(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE), at);
    }

    void SetVolume(double linear) override {
        m_volume = linear < 0 ? 0 : (linear > 1 ? 1 : linear);
        if (m_playbin)
            g_object_set(m_playbin, "volume", m_volume, nullptr);
    }

    void OnFirstBuffer(std::function<void()> callback) override {
        m_firstBuffer = std::move(callback);
    }

private:
    bool Build() {
        if (!InitGstreamer())
            return false;
        m_playbin = gst_element_factory_make("playbin", nullptr);
        if (!m_playbin) {
            Trace("Media graph: GStreamer has no playbin");
            return false;
        }
        gst_object_ref_sink(m_playbin);
        GError* error = nullptr;
        const std::string desc = AudioSinkDescription();
        GstElement* sink = gst_parse_bin_from_description(desc.c_str(), TRUE, &error);
        if (!sink) {
            TraceFormat("Media graph: audio sink \"%s\": %s", desc.c_str(), error ? error->message : "?");
            g_clear_error(&error);
            gst_object_unref(m_playbin);
            m_playbin = nullptr;
            return false;
        }
        g_object_set(m_playbin, "flags", kPlayFlagAudio | kPlayFlagSoftVolume, "audio-sink", sink,
                     "volume", m_volume, nullptr);
        if (m_firstBuffer) {
            m_firstSeen = false;
            if (GstPad* pad = gst_element_get_static_pad(sink, "sink")) {
                gst_pad_add_probe(pad, GST_PAD_PROBE_TYPE_BUFFER, &GstGraph::BufferProbe, this, nullptr);
                gst_object_unref(pad);
            }
        }
        return true;
    }

    static GstPadProbeReturn BufferProbe(GstPad*, GstPadProbeInfo*, gpointer self) {
        auto* g = static_cast<GstGraph*>(self);
        if (!g->m_firstSeen.exchange(true) && g->m_firstBuffer)
            g->m_firstBuffer();
        return GST_PAD_PROBE_REMOVE;
    }

    void TraceBusError(const std::string& path) {
        if (!TraceEnabled())
            return;
        GstBus* bus = gst_element_get_bus(m_playbin);
        while (GstMessage* msg = gst_bus_pop_filtered(bus, GST_MESSAGE_ERROR)) {
            GError* error = nullptr;
            gst_message_parse_error(msg, &error, nullptr);
            TraceFormat("Media graph: cannot render %s: %s", path.c_str(), error ? error->message : "?");
            g_clear_error(&error);
            gst_message_unref(msg);
        }
        gst_object_unref(bus);
    }

    void Teardown() {
        if (!m_playbin)
            return;
        gst_element_set_state(m_playbin, GST_STATE_NULL);
        gst_object_unref(m_playbin);
        m_playbin = nullptr;
    }

    GstElement* m_playbin = nullptr;
    double m_volume = 1.0;
    std::function<void()> m_firstBuffer;
    std::atomic<bool> m_firstSeen{false};
};

} // namespace

std::string AudioSinkDescription() {
    const char* env = std::getenv("LYB30_AUDIO_SINK");
    return env && *env ? std::string(env) : std::string("autoaudiosink");
}

std::unique_ptr<MediaGraph> CreateMediaGraph() {
    if (!InitGstreamer())
        return nullptr;
    // playbin lives in plugins-base; without it nothing can be rendered.
    GstElementFactory* f = gst_element_factory_find("playbin");
    if (!f) {
        Trace("Media graph: GStreamer has no playbin");
        return nullptr;
    }
    gst_object_unref(f);
    return std::make_unique<GstGraph>();
}

} // namespace lyb

namespace lyb {

bool InitGstreamer() {
    static std::once_flag once;
    static bool ok = false;
    std::call_once(once, [] {
        GError* error = nullptr;
        ok = gst_init_check(nullptr, nullptr, &error);
        if (!ok) {
            TraceFormat("GStreamer could not be initialised: %s", error ? error->message : "?");
            g_clear_error(&error);
        }
    });
    return ok;
}

} // namespace lyb
