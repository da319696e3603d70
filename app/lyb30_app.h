// The application object: one per process. It guards the single instance,
// loads the components, the settings and the language, installs the
// interface fonts, registers the three page templates, creates the main
// frame and hands the command line to the right page; at exit it saves the
// settings and releases everything in a fixed order.
//
// It is plain logic: the widget layer (ui/) implements AppShell, tests use
// their own shell. Every step traces its fixed text.
#pragma once

#include "app/app_seams.h"
#include "app/associations.h"
#include "app/command_line.h"
#include "app/components.h"
#include "app/doc_template.h"
#include "app/localize.h"
#include "app/settings.h"
#include "library/media_context.h"

#include <array>
#include <atomic>
#include <memory>
#include <string>
#include <vector>

namespace lyb {

class CUSBManager;
class CAspiManager;
class CCDManager;
class CdPageDocument;
class FileDialog;
class HandoffClient;
class HandoffServer;
class InstanceGuard;
class MessageTarget;
class Prompt;
class Registry;
class CLyb30App;

/// The private main-window class; the hand-off channel listens under it.
inline constexpr const char* kMainWindowClass = "Lyb30MDIMainWnd";
/// dwData of the hand-off message.
inline constexpr std::uint32_t kHandoffData = 777;
/// The word stored when no USB root hub is found.
inline constexpr const char* kNoRootHubWord = "nohubs";

/// One of the four interface fonts.
struct InterfaceFontSpec {
    int height = 0;
    int width = 0; ///< 0: the face's own
    int weight = 400;
    bool italic = false;
};

/// What the widget layer does for the application object.
class AppShell {
public:
    virtual ~AppShell() = default;
    /// Adds the font file; false when it cannot be added.
    virtual bool AddFontResource(const std::string& path) = 0;
    /// Creates the four interface fonts of `typeface`.
    virtual void CreateInterfaceFonts(const std::string& typeface, int characterSet,
                                      const std::array<InterfaceFontSpec, 4>& fonts) = 0;
    virtual void RemoveFontResource(const std::string& path) = 0;
    /// The view factory of template `index` (0 CD Player, 1 Club Orvik, 2 Music Studio).
    virtual ViewFactory MakeViewFactory(int index) = 0;
    /// Creates the main frame (hidden); false on failure.
    virtual bool CreateMainFrame(CLyb30App& app) = 0;
    /// Shows the main window: hidden first, then `hidden` or normally.
    virtual void ShowMainWindow(bool hidden) = 0;
    /// The Music Studio page's start-up.
    virtual void MusicStartUp(CView* musicForm) = 0;
    /// A handed-off file for the Music Studio page: add it and play it.
    virtual void MusicAddAndPlay(CView* musicForm, const std::string& path) = 0;
    /// A handed-off CD track: switch to the CD Player page and play it.
    virtual void CdPlayTrack(CView* cdForm, int drive, int track) = 0;
    /// The UI thread's message target (hand-offs are answered there); null: call directly.
    virtual MessageTarget* UiTarget() = 0;
};

/// Everything the application object runs on.
struct AppEnvironment {
    std::shared_ptr<Registry> registry;
    Prompt* prompt = nullptr;
    FileDialog* fileDialog = nullptr; ///< the save dialog of the CD rip (null: no saving)
    std::unique_ptr<InstanceGuard> guard;
    std::unique_ptr<HandoffServer> handoffServer;
    std::unique_ptr<HandoffClient> handoffClient;
    std::string programFolder; ///< components, lang.dat and the help path are here
    std::string currentFolder; ///< the default of "pth"; fonts are found below it
    unsigned systemCodePage = 65001;
    std::vector<std::string> args; ///< the command line without the program name
    XdgFolders xdg;
    AppSeams seams;
    /// Why there is no private runtime folder for the guard and the channel
    /// ("" when there is one); start-up then ends and says so.
    std::string runtimeProblem;
    int handoffWaitMs = 100; ///< pause between hand-off attempts
    /// The longest a second start waits in all: 40 looks for the receiver
    /// and 50 sends while it is not ready, 100 ms apart.
    int handoffBudgetMs = 9000;
    int exitWaitMs = 2000;   ///< the pause before the framework's exit processing
};

/// Message number of the hand-off on the UI target.
inline constexpr unsigned kHandoffMessage = 0x400 + 777;

class CLyb30App {
public:
    CLyb30App(AppEnvironment env, AppShell& shell);
    ~CLyb30App();
    CLyb30App(const CLyb30App&) = delete;
    CLyb30App& operator=(const CLyb30App&) = delete;

    /// True: run the message loop; false: end the process.
    bool InitInstance();
    /// The shutdown; returns the exit code.
    int ExitInstance();
    /// Why InitInstance ended when the single-instance guard or the hand-off
    /// channel could not be had ("" otherwise); also traced.
    const std::string& StartupError() const { return m_startupError; }
    /// A new document for every template, in registration order.
    bool OnFileNew();
    /// Drops every page's document; called when the main frame (and with it
    /// the views) goes away. Hand-offs are refused from then on.
    void CloseAllDocuments();

    /// The receiver of a hand-off (dwData, file name bytes): 0 taken, -1 not ready.
    std::intptr_t OnCopyData(std::uint32_t dwData, const std::string& data);

    CView* GetCDForm() const { return FirstView(0); }
    CView* GetClubForm() const { return FirstView(1); }
    CView* GetMusicForm() const { return FirstView(2); }

    // Settings, preferences and what the pages read.
    AppSettings& Settings() { return m_settings; }
    const AppSettings& Settings() const { return m_settings; }
    const SettingsLoadReport& LoadReport() const { return m_loadReport; }
    void LoadSettings();
    void SaveSettings();
    CLocalize m_oLocalize;
    FormatEnabled m_formats;
    int m_ripFormat = 128; ///< AAC; 256 for LSE
    bool EnglishInterface() const { return m_englishInterface; }
    const std::array<InterfaceFontSpec, 4>& InterfaceFonts() const { return m_fonts; }
    Associations MakeAssociations() const;
    const AppEnvironment& Environment() const { return m_env; }
    Registry& GetRegistry() const { return *m_env.registry; }
    Prompt* GetPrompt() const { return m_env.prompt; }
    int CdState() const;
    /// The CD-drive access object and the ASPI manager (null before start-up step 1).
    CCDManager* CdManager() const { return m_cdManager.get(); }
    CAspiManager* AspiManager() const { return m_aspi.get(); }
    /// The CD Player page's document (null before the page exists).
    CdPageDocument* GetCDDocument() const;

    // Start-up state (tests and pages read it).
    const Components& GetComponents() const { return m_components; }
    bool LseLoaded() const { return m_components.lse.IsOpen(); }
    bool EncoderLoaded() const { return m_components.tessel.IsOpen(); }
    bool DeviceLibraryLoaded() const { return m_components.usb.IsOpen(); }
    /// The USB device manager (null before start-up step 1 and after exit).
    CUSBManager* UsbManager() const { return m_usbManager.get(); }
    const std::string& UsbRootHubId() const { return m_usbRootHubId; }
    int DeviceCount() const { return m_deviceCount; }
    const CdRequest& GetCdRequest() const { return m_cdRequest; }
    bool StartupComplete() const { return m_startupComplete; }
    bool ShowSplash() const { return m_showSplash; }
    const std::string& HelpFilePath() const { return m_helpFilePath; }
    const std::vector<std::unique_ptr<CDocTemplate>>& Templates() const { return m_templates; }
    const std::vector<std::string>& RecentFiles() const { return m_recentFiles; }
    const std::string& FontResourcePath() const { return m_fontPath; }
    /// The page shown: 1 Music Studio, 2 CD Player, 3 Club Orvik (0 before the first).
    int CurrentPageCode() const { return m_currentPage; }
    void SetCurrentPageCode(int page) { m_currentPage = page; }

private:
    bool HandOffToRunningInstance();
    bool Fail(const std::string& why);
    void InstallInterfaceFont();
    void RegisterTemplates();
    std::unique_ptr<CDocument> MakeCdDocument();
    void LoadStdProfileSettings(int entries);
    void SaveStdProfileSettings();
    bool ProcessShellCommand(const CommandLineInfo& info);
    CView* FirstView(size_t index) const;
    std::vector<std::string> CdDrives() const;
    void Wait(int ms) const;

    AppEnvironment m_env;
    AppShell& m_shell;
    std::unique_ptr<CUSBManager> m_usbManager;
    // The CD side outlives the page documents that use it (declared first).
    std::unique_ptr<CCDManager> m_cdManager;
    std::unique_ptr<CAspiManager> m_aspi;
    AppSettings m_settings;
    SettingsLoadReport m_loadReport;
    Components m_components;
    std::vector<std::unique_ptr<CDocTemplate>> m_templates;
    std::vector<std::string> m_recentFiles;
    std::array<InterfaceFontSpec, 4> m_fonts{};
    std::string m_fontPath;
    std::string m_usbRootHubId;
    std::string m_helpFilePath;
    std::string m_startupError;
    std::string m_profileKey;
    CdRequest m_cdRequest;
    int m_deviceCount = 0;
    int m_currentPage = 0;
    bool m_windowClassRegistered = false;
    bool m_fontResourceAdded = false;
    bool m_englishInterface = false;
    bool m_startupComplete = false;
    bool m_showSplash = false;
    bool m_cdAccessCreated = false;
    bool m_usbManagerCreated = false;
    std::atomic<bool> m_pagesReady{false};
};

} // namespace lyb
