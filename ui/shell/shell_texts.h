// Texts of the interface shell (main window, page strip, help window, Club
// Orvik page, about box) with their localiser numbers and English defaults.
//
// Numbers 420-499 belong to the shell: 420-447 the menu commands' status-bar
// prompts (given in the menu table), 450-499 the texts below. Other pages
// keep to their own numbers.
#pragma once

#include <string>
#include <string_view>

namespace lyb {

class CLocalize;

/// A text the interface shows: its localiser number and its English default.
struct UiText {
    int id;
    std::string_view english;
};

/// The text in the interface language.
std::string Tr(const CLocalize& localize, UiText text);

namespace texts {
// Main window.
inline constexpr UiText kReady{450, "Ready"};
inline constexpr UiText kProductName{451, "Lyrabox 3.0"};
inline constexpr UiText kOpenTitle{452, "Open"};
inline constexpr UiText kAllFiles{453, "All Files"};
inline constexpr UiText kSmallPlayerPrompt{456, "Switch to Small Player"};
inline constexpr UiText kNextPagePrompt{457, "Next page"};
inline constexpr UiText kPreviousPagePrompt{458, "Previous page"};
inline constexpr UiText kNotAvailable{454, "This command is not available in this installation."};
inline constexpr UiText kContextHelpPrompt{455, "Click on an item to get help on it"};
// Not shown: the language's locale name, with which the toolkit's own
// dialogs and menus speak it too.
inline constexpr UiText kToolkitLocale{449, "en"};

// Club Orvik page.
inline constexpr UiText kBack{460, "Back"};
inline constexpr UiText kForward{461, "Forward"};
inline constexpr UiText kStop{462, "Stop"};
inline constexpr UiText kRefresh{463, "Refresh"};
inline constexpr UiText kHome{464, "Home"};
inline constexpr UiText kOpenInBrowser{465, "Open in Web Browser"};
inline constexpr UiText kAddress{466, "Address"};
inline constexpr UiText kFavourites{467, "Favourites"};
inline constexpr UiText kOfflineTitle{468, "You are offline"};
inline constexpr UiText kOfflineBody{469, "The Club Orvik pages cannot be reached now: the address below could not be "
                                          "found. Check your connection to the Internet and choose Refresh."};
inline constexpr UiText kOfflineOpen{470, "Open the address in your web browser"};
inline constexpr UiText kLoadFailed{471, "The page could not be loaded."};
inline constexpr UiText kLoading{472, "Loading..."};
inline constexpr UiText kDone{473, "Done"};
inline constexpr UiText kNotShown{474, "This page cannot be shown here. Open it in your web browser."};
inline constexpr UiText kFavouriteClub{475, "Club Orvik"};
inline constexpr UiText kFavouriteGames{476, "Games for your phone"};
inline constexpr UiText kNoAddress{477, "No start address is set for the Club Orvik page."};

// Help window.
inline constexpr UiText kHelpTitle{480, "Lyrabox 3.0 Help"};
inline constexpr UiText kHelpContents{481, "Contents"};
inline constexpr UiText kHelpMissing{482, "The help file cannot be opened:"};
inline constexpr UiText kHelpBack{483, "Back"};
inline constexpr UiText kHelpForward{484, "Forward"};
inline constexpr UiText kHelpHome{485, "Home"};

// About box.
inline constexpr UiText kAboutTitle{490, "About Lyrabox 3.0"};
inline constexpr UiText kAboutVersion{491, "Version 3.0"};
inline constexpr UiText kAboutText{492, "A music manager for your phone: rip CDs, keep your music and playlists in "
                                        "the Music Studio, play them and take them with you on the memory card."};
inline constexpr UiText kAboutCopyright{493, "Copyright (C) Orvik"};
inline constexpr UiText kAboutComponents{494, "Components:"};
inline constexpr UiText kAboutEncoder{495, "AAC encoder"};
inline constexpr UiText kAboutLockstream{496, "Lockstream encoding"};
inline constexpr UiText kAboutDevice{497, "Phone access"};
inline constexpr UiText kAboutLoaded{498, "loaded"};
inline constexpr UiText kAboutMissing{499, "not installed"};
inline constexpr UiText kOk{199, "OK"};
} // namespace texts

} // namespace lyb
