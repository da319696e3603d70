// The CD player's audio output: raw CD audio pushed into a minimal GStreamer
// pipeline (appsrc ! audioconvert ! volume ! audioresample ! sink).
#include "platform/cdaudio/cd_audio.h"
#include "platform/media/gst_init.h"
#include "platform/media/media_graph.h"
#include "platform/mixer.h"
#include "platform/trace.h"

#include <gst/app/gstappsrc.h>
#include <gst/gst.h>

#include <atomic>
#include <cstring>

namespace lyb {

namespace {

constexpr std::uint64_t kBytesPerSecond = 176400;

class GstPcmOutput final : public PcmOutput {
public:
    ~GstPcmOutput() override {
        Stop();
        if (m_volumeListener)
            OutputVolume::Of(OutputLine::CompactDisc).Unlisten(m_volumeListener);
    }

    bool Start() override {
        Stop();
        if (!InitGstreamer())
            return false;
        // A half-second queue: enough against scheduling hiccups, short
        // enough that pause and stop take effect at once.
        const std::string desc = "appsrc name=src format=time block=true max-bytes=88200 "
                                 "caps=audio/x-raw,format=S16LE,rate=44100,channels=2,layout=interleaved "
                                 "! audioconvert ! volume name=vol ! audioresample ! " +
                                 AudioSinkDescription();
        GError* error = nullptr;
        m_pipeline = gst_parse_launch(desc.c_str(), &error);
        if (!m_pipeline || error) {
            TraceFormat("CD audio: pipeline \"%s\": %s", desc.c_str(), error ? error->message : "?");
            g_clear_error(&error);
            if (m_pipeline)
                gst_object_unref(m_pipeline);
            m_pipeline = nullptr;
            return false;
        }
        m_src = gst_bin_get_by_name(GST_BIN(m_pipeline), "src");
        m_volume = gst_bin_get_by_name(GST_BIN(m_pipeline), "vol");
        ApplyVolume(OutputVolume::Of(OutputLine::CompactDisc).Linear());
        if (!m_volumeListener)
            m_volumeListener =
                OutputVolume::Of(OutputLine::CompactDisc).Listen([this](double v) { ApplyVolume(v); });
        m_written = 0;
        m_aborted = false;
        if (gst_element_set_state(m_pipeline, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
            Trace("CD audio: the output does not start");
            Stop();
            return false;
        }
        return true;
    }

    bool Write(const std::uint8_t* pcm, std::size_t bytes) override {
        if (!m_pipeline || m_aborted || Failed())
            return false;
        GstBuffer* buffer = gst_buffer_new_allocate(nullptr, bytes, nullptr);
        gst_buffer_fill(buffer, 0, pcm, bytes);
        GST_BUFFER_PTS(buffer) = gst_util_uint64_scale(m_written, GST_SECOND, kBytesPerSecond);
        GST_BUFFER_DURATION(buffer) = gst_util_uint64_scale(bytes, GST_SECOND, kBytesPerSecond);
        m_written += bytes;
        // Blocks while the queue is full; a stop flushes it and returns at once.
        return gst_app_src_push_buffer(GST_APP_SRC(m_src), buffer) == GST_FLOW_OK && !m_aborted;
    }

    void Pause(bool paused) override {
        if (m_pipeline)
            gst_element_set_state(m_pipeline, paused ? GST_STATE_PAUSED : GST_STATE_PLAYING);
    }

    bool Drain() override {
        if (!m_pipeline || m_aborted)
            return false;
        gst_app_src_end_of_stream(GST_APP_SRC(m_src));
        GstBus* bus = gst_element_get_bus(m_pipeline);
        bool ended = false;
        while (!m_aborted) {
            GstMessage* msg = gst_bus_timed_pop_filtered(bus, 50 * GST_MSECOND,
                                                         GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
            if (!msg)
                continue;
            ended = GST_MESSAGE_TYPE(msg) == GST_MESSAGE_EOS;
            gst_message_unref(msg);
            break;
        }
        gst_object_unref(bus);
        return ended && !m_aborted;
    }

    void Abort() override {
        m_aborted = true;
        // Going to NULL flushes appsrc, which wakes a blocked push.
        if (m_pipeline)
            gst_element_set_state(m_pipeline, GST_STATE_NULL);
    }

    std::uint64_t PlayedBytes() override {
        gint64 pos = 0;
        if (!m_pipeline || !gst_element_query_position(m_pipeline, GST_FORMAT_TIME, &pos) || pos < 0)
            return 0;
        return gst_util_uint64_scale(std::uint64_t(pos), kBytesPerSecond, GST_SECOND) / 4 * 4;
    }

private:
    bool Failed() {
        GstBus* bus = gst_element_get_bus(m_pipeline);
        GstMessage* msg = gst_bus_pop_filtered(bus, GST_MESSAGE_ERROR);
        gst_object_unref(bus);
        if (!msg)
            return false;
        GError* error = nullptr;
        gst_message_parse_error(msg, &error, nullptr);
        TraceFormat("CD audio: %s", error ? error->message : "output error");
        g_clear_error(&error);
        gst_message_unref(msg);
        return true;
    }

    void ApplyVolume(double linear) {
        if (m_volume)
            g_object_set(m_volume, "volume", linear, nullptr);
    }

    void Stop() {
        if (!m_pipeline)
            return;
        gst_element_set_state(m_pipeline, GST_STATE_NULL);
        if (m_src)
            gst_object_unref(m_src);
        if (m_volume)
            gst_object_unref(m_volume);
        gst_object_unref(m_pipeline);
        m_pipeline = m_src = m_volume = nullptr;
    }

    GstElement* m_pipeline = nullptr;
    GstElement* m_src = nullptr;
    GstElement* m_volume = nullptr;
    int m_volumeListener = 0;
    std::uint64_t m_written = 0;
    std::atomic<bool> m_aborted{false};
};

} // namespace

std::unique_ptr<PcmOutput> MakeGstOutput() {
    if (!InitGstreamer())
        return nullptr;
    GstElementFactory* f = gst_element_factory_find("appsrc");
    if (!f) {
        Trace("CD audio: GStreamer has no appsrc (gstreamer1.0-plugins-base)");
        return nullptr;
    }
    gst_object_unref(f);
    return std::make_unique<GstPcmOutput>();
}

} // namespace lyb
