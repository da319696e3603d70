// The Small Player's arithmetic: thumb, drag and track presses, hit tests,
// lights and their tips, the volume bar; the mixer's line choice and the
// volume pop-up.
#include "player/mixer_volume.h"
#include "player/small_player_state.h"

#include <gtest/gtest.h>

namespace lyb {
namespace {

TEST(SmallPlayerState, ThumbFollowsTheClockUnlessDragged) {
    SmallPlayerState s;
    s.OnClock(0, 200);
    EXPECT_EQ(s.ThumbX(), 37);
    s.OnClock(100, 200);
    EXPECT_EQ(s.ThumbX(), 37 + 111);
    s.OnClock(250, 200); // never beyond the end
    EXPECT_EQ(s.ThumbX(), 37 + 222);
    s.OnClock(0, 0); // nothing playing
    EXPECT_EQ(s.ThumbX(), 37);
}

TEST(SmallPlayerState, DragSeeksToTheThumbsSecond) {
    SmallPlayerState s;
    s.OnClock(0, 222);
    EXPECT_EQ(s.Press(40, 65), SmallPlayerArea::Thumb);
    EXPECT_TRUE(s.Dragging());
    s.Drag(140);
    s.OnClock(5, 222); // the clock leaves a dragged thumb alone
    EXPECT_EQ(s.ThumbX(), 137);
    s.Drag(1000);
    EXPECT_EQ(s.ThumbX(), 259);
    const auto second = s.Release();
    ASSERT_TRUE(second);
    EXPECT_EQ(*second, 222);
    EXPECT_FALSE(s.Dragging());
    EXPECT_FALSE(s.Release());
}

TEST(SmallPlayerState, PressBesideTheThumbSeeksInProportion) {
    SmallPlayerState s;
    s.OnClock(0, 300);
    EXPECT_EQ(s.Press(37 + 125, 64), SmallPlayerArea::Track);
    const auto second = s.Release();
    ASSERT_TRUE(second);
    EXPECT_EQ(*second, 150);
}

TEST(SmallPlayerState, HitTest) {
    SkinButton b{};
    EXPECT_EQ(SmallPlayerState::HitTest(50, 85, &b), SmallPlayerArea::Button);
    EXPECT_EQ(b, SkinButton::Play);
    EXPECT_EQ(SmallPlayerState::HitTest(290, 5, &b), SmallPlayerArea::Button);
    EXPECT_EQ(b, SkinButton::Close);
    EXPECT_EQ(SmallPlayerState::HitTest(240, 80, &b), SmallPlayerArea::Button);
    EXPECT_EQ(b, SkinButton::Sequence);
    EXPECT_EQ(SmallPlayerState::HitTest(100, 10), SmallPlayerArea::MoveStrip);
    EXPECT_EQ(SmallPlayerState::HitTest(251, 10), SmallPlayerArea::Nothing); // the strip ends before 251
    EXPECT_EQ(SmallPlayerState::HitTest(1, 10), SmallPlayerArea::Nothing);
    EXPECT_EQ(SmallPlayerState::HitTest(100, 19), SmallPlayerArea::Nothing);
    EXPECT_EQ(SmallPlayerState::HitTest(200, 88), SmallPlayerArea::Volume);
}

TEST(SmallPlayerState, LightsAndTips) {
    SmallPlayerState s;
    EXPECT_EQ(s.SourceLight(), Light::Studio);
    EXPECT_EQ(std::string(s.LightTip(48, 38).english), "Music Studio");
    EXPECT_EQ(std::string(s.LightTip(38, 38).english), std::string()); // the CD light is off
    EXPECT_EQ(std::string(s.LightTip(64, 38).english), "Single play");
    s.mode = 2;
    EXPECT_EQ(s.ModeLight(), Light::Random);
    EXPECT_EQ(std::string(s.LightTip(64, 38).english), "Random play");
    s.mode = 1;
    EXPECT_EQ(std::string(s.LightTip(64, 38).english), "Continuous play");
    EXPECT_EQ(std::string(s.LightTip(80, 38).english), std::string());
    s.deviceConnected = true;
    s.source = 2;
    EXPECT_EQ(std::string(s.LightTip(80, 38).english), "Device has connected");
    EXPECT_EQ(std::string(s.LightTip(38, 38).english), "CD Player");
    EXPECT_EQ(s.SourceLight(), Light::Cd);
}

TEST(SmallPlayerState, ImageOffsetsSwapInRightToLeft) {
    EXPECT_EQ(ImageOffset(ButtonImage::Normal, false), 0);
    EXPECT_EQ(ImageOffset(ButtonImage::Pressed, false), 56);
    EXPECT_EQ(ImageOffset(ButtonImage::Normal, true), 56);
    EXPECT_EQ(ImageOffset(ButtonImage::Pressed, true), 0);
    EXPECT_EQ(ImageOffset(ButtonImage::Hover, true), 28);
}

TEST(Volume, BarWidthRoundsUp) {
    EXPECT_EQ(VolumeBarWidth(0), 0);
    EXPECT_EQ(VolumeBarWidth(1), 1);
    EXPECT_EQ(VolumeBarWidth(50), 30);
    EXPECT_EQ(VolumeBarWidth(99), 60);
    EXPECT_EQ(VolumeBarWidth(100), 60);
    EXPECT_EQ(VolumeBarWidth(150), 60);
}

std::vector<MixerDestination> Lines() {
    MixerLine cd{MixerComponent::CompactDisc, "CD", {{7, MixerControlClass::Switch, 0, 1, "Mute"},
                                                     {8, MixerControlClass::Fader, 0, 100, "Volume"}}};
    MixerLine wave{MixerComponent::WaveOut, "Wave", {{9, MixerControlClass::Fader, 0, 65535, "Volume"},
                                                     {10, MixerControlClass::Switch, 0, 1, "Mute"}}};
    MixerLine wave2{MixerComponent::WaveOut, "Wave 2", {{11, MixerControlClass::Fader, 0, 10, "Volume"}}};
    return {{"Speakers", {cd, wave}}, {"Recording", {wave2}}};
}

TEST(Volume, TheFirstFaderOfTheFirstLineOfEachKind) {
    CMixerVolume mixer(CreateMemoryMixer(Lines()));
    ASSERT_TRUE(mixer.Available());
    EXPECT_EQ(mixer.Line(OutputLine::CompactDisc).controlId, 8u);
    EXPECT_EQ(mixer.Line(OutputLine::WaveOut).controlId, 9u);
    EXPECT_EQ(mixer.Percent(OutputLine::CompactDisc), 100);
    CMixerVolume none(CreateMemoryMixer(Lines(), false));
    EXPECT_FALSE(none.Available());
    EXPECT_FALSE(none.Line(OutputLine::WaveOut).found);
    EXPECT_EQ(none.Value(OutputLine::WaveOut), -1);
}

TEST(Volume, PopUpSliderIsUpsideDownAndWritesOnlyChanges) {
    CMixerVolume mixer(CreateMemoryMixer(Lines()));
    mixer.SetValue(OutputLine::CompactDisc, 30);
    VolumePopupState cdPopup(mixer, true);
    EXPECT_EQ(cdPopup.Line(), OutputLine::CompactDisc);
    EXPECT_EQ(cdPopup.SliderMaximum(), 100);
    EXPECT_EQ(cdPopup.InitialPosition(), 70);
    EXPECT_FALSE(cdPopup.OnTimer(70)); // unchanged: nothing written
    EXPECT_TRUE(cdPopup.OnTimer(0));   // the top of the slider is full volume
    EXPECT_EQ(mixer.Value(OutputLine::CompactDisc), 100);
    VolumePopupState wavePopup(mixer, false);
    EXPECT_EQ(wavePopup.Line(), OutputLine::WaveOut);
    EXPECT_TRUE(wavePopup.OnTimer(65535));
    EXPECT_EQ(mixer.Value(OutputLine::WaveOut), 0);
}

TEST(Volume, StreamMixerDrivesOurOutputStreams) {
    CMixerVolume mixer(CreateStreamMixer());
    ASSERT_TRUE(mixer.Available());
    double heard = -1;
    OutputVolume& wave = OutputVolume::Of(OutputLine::WaveOut);
    const int id = wave.Listen([&](double v) { heard = v; });
    VolumePopupState popup(mixer, false);
    EXPECT_TRUE(popup.OnTimer(popup.SliderMaximum() / 2 + 1));
    EXPECT_NEAR(heard, 0.5, 0.001);
    EXPECT_EQ(mixer.Percent(OutputLine::WaveOut), 49);
    EXPECT_EQ(OutputVolume::Of(OutputLine::CompactDisc).Value(), OutputVolume::kMaxValue);
    wave.SetMuted(true);
    EXPECT_EQ(heard, 0.0);
    wave.SetMuted(false);
    wave.Unlisten(id);
    wave.SetValue(OutputVolume::kMaxValue);
    EXPECT_NEAR(heard, 0.5, 0.001); // no longer listening
}

} // namespace
} // namespace lyb
