// GStreamer's one-time initialisation, shared by every GStreamer user of the
// platform layer.
#pragma once

namespace lyb {

/// Initialises GStreamer once per process; false (traced) when it cannot.
bool InitGstreamer();

} // namespace lyb
