#include "app/preferences.h"

#include "app/associations.h"
#include "app/check_folder.h"
#include "app/lyb30_app.h"
#include "platform/prompt.h"
#include "platform/registry.h"

#include <cstdio>

namespace lyb {

CPreferencesModel::CPreferencesModel(CLyb30App& app) : m_app(app) {
    const CLocalize& l = app.m_oLocalize;
    Captions& c = m_captions;
    c.title = l.Get(210, "Preferences");
    c.startupGroup = l.Get(190, "Music Studio startup");
    c.musicFolder = l.Get(191, "Default Music Folder");
    c.playlistFolder = l.Get(192, "Default Playlist Folder");
    c.compression = l.Get(193, "Compression rate for music files");
    c.quality = l.Get(227, "Recording Quality");
    c.blank = l.Get(194, "Blank Music Studio");
    c.previous = l.Get(195, "Previous session");
    c.scan = l.Get(196, "Scan default Music Folder");
    c.browse1 = l.Get(197, "Browse...");
    c.browse2 = l.Get(198, "Browse...");
    c.ok = l.Get(199, "OK");
    c.cancel = l.Get(200, "Cancel");
    c.alwaysOnTop = l.Get(320, "Small Player always on top");
    c.associationGroup = l.Get(345, "Always play with Lyrabox");
    c.m3u = l.Get(350, "M3U files");
    c.mp3 = l.Get(346, "MP3 files");
    c.aac = l.Get(347, "AAC files");
    c.audioCd = l.Get(348, "Audio CD");
    c.browseMusicTitle = l.Get(252, "Default Music folder");
    c.browsePlaylistTitle = l.Get(253, "Default Playlist folder");

    const AppSettings& s = app.Settings();
    musicFolder = s.defaultMusicFolder;
    playlistFolder = s.defaultPlaylistFolder;
    startupMode = s.startupMode;
    alwaysOnTop = s.alwaysOnTop != 0;
    bitrateIndex = 4; // 256000 when the setting is not in the list
    for (size_t i = 0; i < kBitrates.size(); ++i)
        if (kBitrates[i] == s.bitrate)
            bitrateIndex = static_cast<int>(i);

    const Associations a = app.MakeAssociations();
    m_wasAac = assocAac = a.IsAssociated(".aac");
    m_wasMp3 = assocMp3 = a.IsAssociated(".mp3");
    m_wasM3u = assocM3u = a.IsAssociated(".m3u");
    m_wasCdCommand = a.IsAudioCDAssociated();
    m_wasCda = a.IsAssociated(".cda");
    assocAudioCd = m_wasCdCommand && m_wasCda;

    // Machine-wide associations need a machine hive this user may change.
    RegKey probe;
    const RegStatus st = app.GetRegistry().OpenKey(Hive::LocalMachine, kSettingsKey, RegAccess::Write, probe);
    m_associationsEnabled = st == RegStatus::Ok;
    m_extractionIdle = app.CdState() != 3;
    m_rightToLeft = s.rightToLeft;
}

std::string CPreferencesModel::BitrateText(int index) {
    if (index < 0 || index >= static_cast<int>(kBitrates.size()))
        return {};
    char buf[16];
    std::snprintf(buf, sizeof buf, "%d", kBitrates[static_cast<size_t>(index)]);
    return buf;
}

bool CPreferencesModel::Ok(bool* associationsChanged) {
    if (associationsChanged)
        *associationsChanged = false;
    Prompt* prompt = m_app.GetPrompt();
    ScriptedPrompt fallback;
    Prompt& p = prompt ? *prompt : fallback;
    const CLocalize& l = m_app.m_oLocalize;
    const std::string caption = l.Get(271, "Lyrabox 3.0");

    bool keepOpen = false;
    const int music = CheckFolder(musicFolder, p, &l);
    if (music == -1)
        p.Ask(l.Get(355, "The specified Music Folder") + " " + musicFolder + " " + l.Get(356, "is invalid."),
              caption, PromptButtons::Ok, PromptIcon::Stop);
    else if (music == -2)
        p.Ask(l.Get(357, "Can't create Music Folder") + " " + musicFolder, caption, PromptButtons::Ok,
              PromptIcon::Stop);
    keepOpen = keepOpen || music != 0;
    const int playlist = CheckFolder(playlistFolder, p, &l);
    if (playlist == -1)
        p.Ask(l.Get(358, "The specified Playlist Folder") + " " + playlistFolder + " " + l.Get(356, "is invalid."),
              caption, PromptButtons::Ok, PromptIcon::Stop);
    else if (playlist == -2)
        p.Ask(l.Get(359, "Can't create Playlist Folder") + " " + playlistFolder, caption, PromptButtons::Ok,
              PromptIcon::Stop);
    keepOpen = keepOpen || playlist != 0;
    if (keepOpen)
        return false;

    if (bitrateIndex < 0 || bitrateIndex >= static_cast<int>(kBitrates.size()))
        bitrateIndex = 4; // no selection stores the list's default entry

    bool changed = false;
    if (m_associationsEnabled) {
        Associations a = m_app.MakeAssociations();
        auto apply = [&](bool want, bool was, const char* ext) {
            if (want && !was) {
                a.Associate(ext);
                changed = true;
            } else if (!want && was) {
                a.Unassociate(ext);
                changed = true;
            }
        };
        apply(assocMp3, m_wasMp3, ".mp3");
        apply(assocAac, m_wasAac, ".aac");
        if (assocAudioCd && !m_wasCdCommand) {
            a.AssociateAudioCD();
            changed = true;
        } else if (!assocAudioCd && m_wasCdCommand) {
            a.UnassociateAudioCD();
            changed = true;
        }
        apply(assocAudioCd, m_wasCda, ".cda");
        apply(assocM3u, m_wasM3u, ".m3u");
    }
    if (associationsChanged)
        *associationsChanged = changed;

    AppSettings& s = m_app.Settings();
    s.defaultMusicFolder = musicFolder;
    s.defaultPlaylistFolder = playlistFolder;
    s.startupMode = startupMode;
    s.alwaysOnTop = alwaysOnTop ? 1 : 0;
    s.bitrate = kBitrates[static_cast<size_t>(bitrateIndex)];
    return true;
}

} // namespace lyb
