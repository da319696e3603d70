// A headless shell and environment for driving the application object.
#pragma once

#include "app/lyb30_app.h"
#include "platform/instance.h"
#include "platform/prompt.h"
#include "platform/registry.h"
#include "platform/trace.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

namespace lyb::test {

/// Collects trace texts while alive.
class TraceLog {
public:
    TraceLog() {
        SetTraceSink([this](std::string_view t) {
            std::lock_guard<std::mutex> l(m_mutex);
            m_lines.emplace_back(t);
        });
    }
    ~TraceLog() { SetTraceSink(nullptr); }
    std::vector<std::string> Lines() const {
        std::lock_guard<std::mutex> l(m_mutex);
        return m_lines;
    }
    bool Has(const std::string& text) const {
        for (const auto& l : Lines())
            if (l == text)
                return true;
        return false;
    }
    /// Index of the first line equal to text, -1 when absent.
    int IndexOf(const std::string& text) const {
        auto lines = Lines();
        for (size_t i = 0; i < lines.size(); ++i)
            if (lines[i] == text)
                return static_cast<int>(i);
        return -1;
    }

private:
    mutable std::mutex m_mutex;
    std::vector<std::string> m_lines;
};

struct TestView : CView {};

/// Records what the application object asks of the widget layer.
class TestShell final : public AppShell {
public:
    bool AddFontResource(const std::string& path) override {
        fontPath = path;
        return std::filesystem::exists(path);
    }
    void CreateInterfaceFonts(const std::string& face, int, const std::array<InterfaceFontSpec, 4>& f) override {
        typeface = face;
        fonts = f;
    }
    void RemoveFontResource(const std::string& path) override { removedFont = path; }
    ViewFactory MakeViewFactory(int index) override {
        return [this, index](CDocument&, const CDocTemplate& t) -> CView* {
            if (failViews)
                return nullptr;
            views.push_back(std::make_unique<TestView>());
            viewOrder.push_back(index);
            viewClasses.push_back(t.ViewClass());
            return views.back().get();
        };
    }
    bool CreateMainFrame(CLyb30App&) override {
        frameCreated = true;
        return !failFrame;
    }
    void ShowMainWindow(bool hidden) override {
        shown = true;
        shownHidden = hidden;
    }
    void MusicStartUp(CView* v) override { startedUp = v; }
    void MusicAddAndPlay(CView*, const std::string& path) override { musicFiles.push_back(path); }
    void CdPlayTrack(CView*, int drive, int track) override { cdPlays.push_back({drive, track}); }
    MessageTarget* UiTarget() override { return nullptr; }

    bool failFrame = false, failViews = false;
    bool frameCreated = false, shown = false, shownHidden = false;
    std::string fontPath, removedFont, typeface;
    std::array<InterfaceFontSpec, 4> fonts{};
    std::vector<std::unique_ptr<TestView>> views;
    std::vector<int> viewOrder;
    std::vector<std::string> viewClasses;
    CView* startedUp = nullptr;
    std::vector<std::string> musicFiles;
    std::vector<std::pair<int, int>> cdPlays;
};

/// A temporary folder removed at the end of the test.
class TempDir {
public:
    TempDir() {
        std::string tmpl = testing::TempDir() + "lybapp_XXXXXX";
        char* made = ::mkdtemp(tmpl.data());
        m_path = made ? made : "";
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    const std::string& path() const { return m_path; }

private:
    std::string m_path;
};

/// Copies a component double into `folder` under the program's file name.
inline void InstallComponent(const std::string& folder, const std::string& doubleName, const std::string& fileName) {
    std::filesystem::copy_file(std::string(LYB_TEST_COMPONENTS) + "/lib" + doubleName + ".so",
                               folder + "/" + fileName, std::filesystem::copy_options::overwrite_existing);
}

/// Writes the machine key as the installer would.
inline void WriteMachineKey(Registry& reg, const std::string& pth, int codePage = 1252, int englishBase = 0) {
    RegKey k;
    ASSERT_EQ(reg.CreateKey(Hive::LocalMachine, kSettingsKey, RegAccess::Full, k), RegStatus::Ok);
    k.SetString("pth", pth);
    k.SetString("Default Music Folder", pth + "/Music");
    k.SetDword("CodePage", static_cast<std::uint32_t>(codePage));
    k.SetDword("EnglishBase", static_cast<std::uint32_t>(englishBase));
    k.SetDword("LangID", 9);
}

} // namespace lyb::test
