#include "app/lyb30_app.h"

#include "app/help_files.h"
#include "app/page_documents.h"
#include "device/usb_manager.h"
#include "cd/aspi_manager.h"
#include "cd/cd_doc.h"
#include "cd/cd_manager.h"
#include "cd/cd_state.h"
#include "cd/device_ioctl.h"
#include "platform/cdrom/cdrom_device.h"
#include "platform/instance.h"
#include "platform/message_target.h"
#include "platform/path.h"
#include "platform/prompt.h"
#include "platform/registry.h"
#include "platform/trace.h"
#include "platform/usb_hub.h"
#include "platform/volumes.h"

#include <algorithm>
#include <chrono>
#include <clocale>
#include <cstdio>
#include <thread>

namespace lyb {

namespace {

constexpr const char* kProfileRoot = "Software\\Local AppWizard-Generated Applications";

bool IsCdDriveRoot(const std::string& root) { return VolumeTypeOf(root) == VolumeType::CdRom; }

bool ContainsOrvik(const std::string& s) {
    return s.find("Orvik") != std::string::npos || s.find("orvik") != std::string::npos ||
           s.find("ORVIK") != std::string::npos;
}

} // namespace

CLyb30App::CLyb30App(AppEnvironment env, AppShell& shell) : m_env(std::move(env)), m_shell(shell) {
    m_formats = FormatEnabled{};
    m_settings.installFolder = m_env.currentFolder;
}

CLyb30App::~CLyb30App() {
    if (m_env.handoffServer)
        m_env.handoffServer->Stop();
}

void CLyb30App::Wait(int ms) const {
    if (ms > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

std::vector<std::string> CLyb30App::CdDrives() const {
    if (m_env.seams.cdDriveNames)
        return m_env.seams.cdDriveNames();
    std::vector<std::string> names;
    if (m_cdManager)
        for (const auto& d : m_cdManager->Drives())
            names.push_back(d.root);
    return names;
}

int CLyb30App::CdState() const {
    return m_env.seams.cdState ? m_env.seams.cdState() : static_cast<int>(GetCdState());
}

CdPageDocument* CLyb30App::GetCDDocument() const {
    if (m_templates.empty())
        return nullptr;
    return dynamic_cast<CdPageDocument*>(m_templates[0]->GetFirstDocument());
}

void CLyb30App::LoadSettings() {
    m_loadReport = lyb::LoadSettings(*m_env.registry, m_env.prompt, &m_oLocalize, m_env.currentFolder, m_settings);
}

void CLyb30App::SaveSettings() { lyb::SaveSettings(*m_env.registry, m_settings); }

Associations CLyb30App::MakeAssociations() const {
    return Associations(*m_env.registry, m_settings.installFolder, m_env.xdg);
}

bool CLyb30App::InitInstance() {
    // 1. The two auxiliary objects.
    m_cdManager = std::make_unique<CCDManager>();
    m_cdManager->DescribeDrives();
    m_aspi = std::make_unique<CAspiManager>();
    if (m_env.seams.createCdAccess)
        m_env.seams.createCdAccess();
    m_cdAccessCreated = true;
    m_usbManager = std::make_unique<CUSBManager>(m_env.programFolder);
    m_usbManager->SetPrompt(m_env.prompt, &m_oLocalize);
    m_usbManager->SetRootSlot(&m_components.device);
    if (m_env.seams.createUsbManager)
        m_env.seams.createUsbManager();
    m_usbManagerCreated = true;

    // 2. The instance guard. Failing to get it or the channel is said, not
    // silent: the user would otherwise see nothing start.
    if (!m_env.runtimeProblem.empty())
        return Fail("no private runtime folder (" + m_env.runtimeProblem + ")");
    if (!m_env.guard)
        return Fail("no instance guard");
    switch (m_env.guard->Acquire()) {
    case GuardResult::Failed: return Fail("the instance guard could not be taken (" + m_env.guard->Error() + ")");
    case GuardResult::AlreadyRunning: HandOffToRunningInstance(); return false;
    case GuardResult::Acquired: break;
    }

    // 3. The main-window class: the name the hand-off channel listens under.
    if (!m_env.handoffServer)
        return Fail("no hand-off channel");
    const bool listening = m_env.handoffServer->Start([this](std::uint32_t dw, const std::string& data) {
        // Answered at once while the pages are missing, so a sender never
        // waits for the start-up to finish.
        if (!m_pagesReady.load())
            return std::intptr_t{-1};
        if (MessageTarget* ui = m_shell.UiTarget())
            return ui->Send(Message{kHandoffMessage, dw, 0, data}, -1);
        return OnCopyData(dw, data);
    });
    if (!listening)
        return Fail("the hand-off channel could not start (" + m_env.handoffServer->Error() + ")");
    m_windowClassRegistered = true;

    // 4. The USB root hub.
    Trace("Player initialization");
    Trace("Getting USB Root Hub ID");
    m_usbRootHubId = m_env.seams.usbRootHubId ? m_env.seams.usbRootHubId() : UsbRootHubName();
    TraceFormat("USB Root Hub ID: %s", m_usbRootHubId.c_str());
    if (m_usbRootHubId.size() < 3) {
        Trace("No USB Root Hub detected on this machine");
        m_usbRootHubId = kNoRootHubWord;
    }

    // 5. The player engine.
    if (m_env.seams.playerInit)
        m_env.seams.playerInit();

    // 6. The Lockstream library (optional).
    Trace("Loading LSE library");
    LoadLockstream(m_components, m_env.programFolder);

    // 7. The settings.
    Trace("Loading registry setting");
    LoadSettings();

    // 8. The language. A UTF-8 system shows every language.
    m_oLocalize.SetCodePage(static_cast<unsigned>(m_settings.codePage));
    m_oLocalize.SetPath(m_env.programFolder + "/lang.dat");
    const bool codePageFits =
        m_env.systemCodePage == 65001 || m_env.systemCodePage == static_cast<unsigned>(m_settings.codePage);
    if (codePageFits || m_settings.englishBase != 0) {
        m_oLocalize.Load();
    } else {
        const PromptAnswer a =
            m_env.prompt
                ? m_env.prompt->Ask("The selected interface language is not supported in current system code "
                                    "page.\nDo you want to change interface language to English?",
                                    "Lyrabox 3.0", PromptButtons::YesNo, PromptIcon::Stop)
                : PromptAnswer::Yes;
        if (a == PromptAnswer::Yes)
            m_englishInterface = true;
        else
            m_oLocalize.Load();
    }

    // 9. The localised help file decides the interface language too.
    if (!m_englishInterface) {
        const std::string help = lyb::HelpFilePath(m_settings.installFolder, true);
        if (FILE* f = std::fopen(help.c_str(), "rb")) {
            std::fclose(f);
        } else {
            TraceFormat("No localised help at %s: English interface", help.c_str());
            m_englishInterface = true;
        }
    }
    // With the English interface no table is used.
    if (m_englishInterface)
        m_oLocalize.Clear();

    // 10. Locale and help path.
    Trace("Loading localize string table");
    std::setlocale(LC_ALL, "");
    std::setlocale(LC_NUMERIC, "C"); // number texts in files stay "1.5", never "1,5"
    m_helpFilePath = lyb::HelpFilePath(m_env.programFolder, false);

    // 11. The command line.
    const CommandLineInfo info = ParseCommandLine(m_env.args);
    Trace("Splash screen enabling");
    m_showSplash = info.showSplash;

    // 12. The interface font.
    Trace("Font initialization");
    InstallInterfaceFont();

    // 13. The encoder library (required).
    Trace("Codec initialization");
    if (!LoadEncoder(m_components, m_env.programFolder))
        return false;

    // 14. The device library (optional).
    LoadDeviceLibrary(m_components, m_env.programFolder);

    // 15. The first device enumeration.
    if (m_env.seams.usbFirstEnumeration) {
        m_deviceCount = m_env.seams.usbFirstEnumeration(m_components.device) & 0xFF;
    } else {
        m_usbManager->TraceOsVersion();
        m_deviceCount = m_usbManager->EnumerateDevices();
    }

    // 16. The page templates.
    RegisterTemplates();

    // 17. The main frame.
    if (!m_shell.CreateMainFrame(*this))
        return false;
    // The CD side's start-up check belongs to the main window's creation:
    // ASPI loaded (consumer line), adapters scanned, drives matched.
    m_cdManager->StartupCheck(*m_aspi, m_env.programFolder);
    Trace("MainFrame loaded");

    // 18. A CD request on the command line.
    const CommandLineInfo again = ParseCommandLine(m_env.args);
    m_cdRequest = ParseCdRequest(again.fileName, CdDrives(), &IsCdDriveRoot);

    // 19. The shell command.
    Trace("Process Shell Command");
    if (!ProcessShellCommand(again))
        return false;
    m_pagesReady = GetMusicForm() != nullptr && GetCDForm() != nullptr;
    // The CD Player page reads its drive and acts on a CD request.
    if (CdPageDocument* cd = GetCDDocument())
        cd->Cd().Start(m_cdRequest.forCdTrack, m_cdRequest.drive, m_cdRequest.track);

    // 20. The Music Studio start-up.
    m_startupComplete = true;
    Trace("((CMusicForm*)GetMusicForm())->StartUp();");
    if (CView* music = GetMusicForm())
        m_shell.MusicStartUp(music);

    // 21. Show the main window.
    const bool hidden = m_env.seams.smallPlayerExists && m_env.seams.smallPlayerExists();
    Trace("ShowWindow");
    m_shell.ShowMainWindow(hidden);
    Trace("UpdateWindow");
    Trace("end of InitInstance");
    return true;
}

bool CLyb30App::Fail(const std::string& why) {
    m_startupError = why;
    TraceFormat("Start-up ended: %s", why.c_str());
    return false;
}

bool CLyb30App::HandOffToRunningInstance() {
    HandoffClient* client = m_env.handoffClient.get();
    if (!client)
        return false;
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(m_env.handoffBudgetMs);
    auto remainingMs = [&] {
        return static_cast<int>(
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count());
    };
    // One connection carries the whole hand-off.
    std::unique_ptr<HandoffConnection> connection;
    for (int i = 0; i < 40 && !connection && remainingMs() > 0; ++i) {
        connection = client->Connect();
        if (!connection)
            Wait(m_env.handoffWaitMs);
    }
    if (!connection) {
        Trace("Hand-off: no running instance answers");
        return false;
    }
    const CommandLineInfo info = ParseCommandLine(m_env.args);
    if (info.command != ShellCommand::FileOpen)
        return false;
    // The receiver runs in another folder: a relative name is made absolute
    // here (a virtual CD drive's track names no file).
    std::string data = IsVirtualDriveNode(info.fileName) ? info.fileName : AbsolutePath(info.fileName);
    data.push_back('\0'); // the file name travels with its terminator
    for (int sends = 0; sends < 50; ++sends) {
        const int left = remainingMs();
        if (left <= 0)
            break;
        const auto answer = connection->Send(kHandoffData, data, left);
        if (!answer) {
            // No answer in time: the receiver may still take the file, so it
            // is never sent a second time.
            Trace("Hand-off: the running instance did not answer");
            return false;
        }
        if (*answer == 0)
            return false;
        Wait(std::min(m_env.handoffWaitMs, std::max(remainingMs(), 0)));
    }
    Trace("Hand-off: the running instance was not ready in time");
    return false;
}

std::intptr_t CLyb30App::OnCopyData(std::uint32_t dwData, const std::string& data) {
    if (dwData != kHandoffData)
        return 0; // the default handling takes nothing
    CView* music = GetMusicForm();
    CView* cd = GetCDForm();
    if (!music || !cd)
        return -1;
    // The name ends at its terminator; bytes after it are not part of it.
    const std::string path = data.substr(0, data.find('\0'));
    const std::vector<std::string> drives = CdDrives();
    const PathParts p = SplitCdPath(path, drives);
    int driveIndex = -1;
    for (size_t i = 0; i < drives.size(); ++i)
        if (!p.drive.empty() && drives[i] == p.drive) {
            driveIndex = static_cast<int>(i);
            break;
        }
    if (p.ext == ".mp3" || p.ext == ".MP3" || driveIndex < 0) {
        m_shell.MusicAddAndPlay(music, path);
        return 0;
    }
    const int track = std::max(-1, TrackIndexFromName(p.name));
    if (CdState() != 3)
        m_shell.CdPlayTrack(cd, driveIndex, track);
    return 0;
}

void CLyb30App::InstallInterfaceFont() {
    m_fontResourceAdded = true;
    m_fontPath = m_env.currentFolder + "/Font/" + m_settings.fontFileName;
    if (!m_shell.AddFontResource(m_fontPath))
        TraceFormat("Font resource %s not added; the system font is used", m_fontPath.c_str());
    const int w = ContainsOrvik(m_settings.typefaceName) ? 700 : 400;
    m_fonts = {InterfaceFontSpec{15, 5, w, false}, InterfaceFontSpec{15, 5, w, true},
               InterfaceFontSpec{14, 0, 400, false}, InterfaceFontSpec{14, 0, 400, true}};
    m_shell.CreateInterfaceFonts(m_settings.typefaceName, m_settings.characterSet, m_fonts);
}

void CLyb30App::RegisterTemplates() {
    Trace("CD template initialization");
    auto cd = std::make_unique<CDocTemplate>(105, kCDFormDocString, "CCDDoc", "CCDFrame", "CCDForm",
                                             [this] { return MakeCdDocument(); });
    cd->SetViewFactory(m_shell.MakeViewFactory(0));
    m_templates.push_back(std::move(cd));

    Trace("Club template initialization");
    auto club = std::make_unique<CDocTemplate>(
        104, kClubOrvikDocString, "CClubOrvikDoc", "CClubOrvikFrame", "CClubOrvikForm",
        [this] { return std::make_unique<CClubOrvikDoc>(m_settings.defaultUrl); });
    club->SetViewFactory(m_shell.MakeViewFactory(1));
    m_templates.push_back(std::move(club));

    m_profileKey = std::string(kProfileRoot) + "\\lyb30";
    LoadStdProfileSettings(4);

    Trace("Music template initialization");
    auto music = std::make_unique<CDocTemplate>(129, kMusicStudioDocString, "CMusicDoc", "CMusicFrame",
                                                "CMusicForm", [this] {
                                                    LibraryContext ctx;
                                                    ctx.formats = m_formats;
                                                    ctx.prompt = m_env.prompt;
                                                    ctx.engine = m_env.seams.lengthEngine
                                                                     ? m_env.seams.lengthEngine()
                                                                     : nullptr;
                                                    ctx.localize = &m_oLocalize;
                                                    return std::make_unique<MusicPageDocument>(ctx);
                                                });
    music->SetViewFactory(m_shell.MakeViewFactory(2));
    m_templates.push_back(std::move(music));
}

std::unique_ptr<CDocument> CLyb30App::MakeCdDocument() {
    CdPageServices s;
    s.manager = m_cdManager.get();
    s.aspi = m_aspi.get();
    s.encoder = m_components.encoder;
    s.localize = &m_oLocalize;
    s.prompt = m_env.prompt;
    s.ripSettings = [this] {
        RipSettings r;
        r.musicFolder = m_settings.defaultMusicFolder;
        r.bitrate = m_settings.bitrate;
        r.outputFormat = m_ripFormat;
        return r;
    };
    s.audioCdAssociated = [this] { return MakeAssociations().IsAudioCDAssociated(); };
    s.randomPlayMode = m_env.seams.cdRandomPlayMode;
    s.stopStudioPlayer = m_env.seams.stopStudioPlayer;
    s.notifySmallPlayer = m_env.seams.notifySmallPlayer;
    s.playerInCdMode = m_env.seams.playerInCdMode;
    return std::make_unique<CdPageDocument>(std::move(s), m_env.prompt, m_env.fileDialog);
}

void CLyb30App::LoadStdProfileSettings(int entries) {
    m_recentFiles.clear();
    RegKey key;
    if (m_env.registry->OpenKey(Hive::CurrentUser, m_profileKey + "\\Recent File List", RegAccess::Read, key) !=
        RegStatus::Ok)
        return;
    for (int i = 1; i <= entries; ++i) {
        std::string f;
        if (key.QueryString("File" + std::to_string(i), f) == RegStatus::Ok && !f.empty())
            m_recentFiles.push_back(f);
    }
}

void CLyb30App::SaveStdProfileSettings() {
    if (m_profileKey.empty() || m_recentFiles.empty())
        return;
    RegKey key;
    if (m_env.registry->CreateKey(Hive::CurrentUser, m_profileKey + "\\Recent File List", RegAccess::Full, key) !=
        RegStatus::Ok)
        return;
    for (size_t i = 0; i < m_recentFiles.size() && i < 4; ++i)
        key.SetString("File" + std::to_string(i + 1), m_recentFiles[i]);
}

void CLyb30App::CloseAllDocuments() {
    m_pagesReady = false;
    for (auto& t : m_templates)
        t->CloseAllDocuments();
}

bool CLyb30App::OnFileNew() {
    for (auto& t : m_templates)
        if (!t->OpenDocumentFile({}))
            return false;
    Trace("OnFileNew success");
    return true;
}

bool CLyb30App::ProcessShellCommand(const CommandLineInfo& info) {
    switch (info.command) {
    case ShellCommand::Nothing: return true;
    case ShellCommand::FileNew: return OnFileNew();
    case ShellCommand::FileOpen: break;
    }
    // A file opens in the Music Studio; a CD request opens the pages fresh
    // and the CD Player page acts on the request. Every page exists after it.
    const bool toMusic = !m_cdRequest.forCdTrack;
    for (size_t i = 0; i < m_templates.size(); ++i) {
        const bool opensFile = toMusic && i == 2;
        if (!m_templates[i]->OpenDocumentFile(opensFile ? info.fileName : std::string()))
            return false;
    }
    if (toMusic) {
        std::erase(m_recentFiles, info.fileName);
        m_recentFiles.insert(m_recentFiles.begin(), info.fileName);
        if (m_recentFiles.size() > 4)
            m_recentFiles.resize(4);
    }
    return true;
}

CView* CLyb30App::FirstView(size_t index) const {
    if (index >= m_templates.size())
        return nullptr;
    CDocument* doc = m_templates[index]->GetFirstDocument();
    return doc ? doc->GetFirstView() : nullptr;
}

int CLyb30App::ExitInstance() {
    Trace("Saving registry settings...");
    if (m_settings.loaded)
        SaveSettings();
    if (m_env.guard && m_env.guard->Held())
        m_env.guard->Release();
    if (m_windowClassRegistered) {
        m_env.handoffServer->Stop();
        m_windowClassRegistered = false;
    }
    m_pagesReady = false;
    Trace("Remove Font Resource ...");
    if (m_fontResourceAdded) {
        m_shell.RemoveFontResource(m_fontPath);
        m_fontResourceAdded = false;
    }
    Trace("Shuting down USB...");
    if (m_usbManager)
        m_usbManager->Release();
    if (m_env.seams.releaseUsbDevices)
        m_env.seams.releaseUsbDevices();
    Trace("Shuting down ASPI...");
    // A running extraction ends here, before the encoder library it calls
    // is freed: the device-control worker is stopped, the ASPI unload stops
    // its own; what they wrote of the current track is removed.
    SetCancelAll(true);
    if (m_cdManager)
        m_cdManager->DeviceIoctl().StopExtraction();
    if (m_aspi)
        m_aspi->UnloadAspi();
    SetCancelAll(false);
    if (m_env.seams.unloadScsi)
        m_env.seams.unloadScsi();
    Trace("Shuting down Orvik Player...");
    if (m_env.seams.playerShutdown)
        m_env.seams.playerShutdown();
    Trace("Freeing LSE library...");
    FreeLockstream(m_components);
    Trace("Freeing AAC library...");
    FreeEncoder(m_components);
    Trace("CWinApp::ExitInstance()");
    Wait(m_env.exitWaitMs);
    m_usbManager.reset();
    if (m_usbManagerCreated && m_env.seams.destroyUsbManager)
        m_env.seams.destroyUsbManager();
    m_usbManagerCreated = false;
    if (m_cdAccessCreated && m_env.seams.destroyCdAccess)
        m_env.seams.destroyCdAccess();
    m_cdAccessCreated = false;
    // The CD page's state uses the CD objects: while it still exists they
    // go with the application object, after it.
    if (!GetCDDocument()) {
        m_aspi.reset();
        m_cdManager.reset();
    }
    SaveStdProfileSettings();
    return 0;
}

} // namespace lyb
